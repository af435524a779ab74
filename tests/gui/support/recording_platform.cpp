#include "recording_platform.h"

namespace harbeat::guitest {

RecordingPlatform::RecordingPlatform() { installPlatform(this); }

RecordingPlatform::~RecordingPlatform() { installPlatform(nullptr); }

void RecordingPlatform::messageBox(QWidget *, const QString &text, BoxIcon icon) {
    record(icon == BoxIcon::Warning ? QStringLiteral("warning") : QStringLiteral("information"), text);
}

bool RecordingPlatform::askOkCancel(QWidget *, const QString &text) {
    record(QStringLiteral("question"), text);
    if (okCancelAnswers.empty()) return true;
    const bool answer = okCancelAnswers.front();
    okCancelAnswers.pop_front();
    return answer;
}

void RecordingPlatform::beep() { record(QStringLiteral("beep"), QString()); }

bool RecordingPlatform::documentOpen(QWidget *, const QString &target) {
    record(QStringLiteral("open"), target);
    return documentOpenResult;
}

QString RecordingPlatform::pickFolder(QWidget *, const QString &prompt, const QString &startFolder) {
    folderStarts.push_back(startFolder);
    record(QStringLiteral("pickFolder"), prompt);
    if (folderAnswers.empty()) return QString();
    const QString answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

QString RecordingPlatform::pickFile(QWidget *, const QString &prompt, const QString &) {
    record(QStringLiteral("pickFile"), prompt);
    if (fileAnswers.empty()) return QString();
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

void RecordingPlatform::pause(int milliseconds, QWidget *) { record(QStringLiteral("pause"), QString(), milliseconds); }

void RecordingPlatform::endProgram() { record(QStringLiteral("endProgram"), QString()); }

QStringList RecordingPlatform::kinds() const {
    QStringList list;
    for (const PlatformCall &call : calls) list.append(call.kind);
    return list;
}

void RecordingPlatform::record(const QString &kind, const QString &text, int milliseconds) {
    calls.push_back({kind, text, milliseconds});
    if (onCall) onCall(calls.back());
}

int RecordingPlatform::count(const QString &kind) const { return static_cast<int>(kinds().count(kind)); }

}  // namespace harbeat::guitest
