// A Platform for tests: records every box, beep, open, folder request and pause in order and
// answers from a script, at once. Installs itself for its lifetime.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/platform.h"

namespace harbeat::guitest {

struct PlatformCall {
    // "information", "warning", "question", "beep", "open", "pickFolder", "pickFile", "pause" or
    // "endProgram".
    QString kind;
    // The box text, the opened target or the folder or file prompt.
    QString text;
    // The length of a pause.
    int milliseconds = 0;
    bool operator==(const PlatformCall &) const = default;
};

class RecordingPlatform final : public Platform {
public:
    RecordingPlatform();
    ~RecordingPlatform() override;
    RecordingPlatform(const RecordingPlatform &) = delete;
    RecordingPlatform &operator=(const RecordingPlatform &) = delete;

    void messageBox(QWidget *owner, const QString &text, BoxIcon icon) override;
    bool askOkCancel(QWidget *owner, const QString &text) override;
    void beep() override;
    bool documentOpen(QWidget *owner, const QString &target) override;
    QString pickFolder(QWidget *owner, const QString &prompt, const QString &startFolder) override;
    QString pickFile(QWidget *owner, const QString &prompt, const QString &filter) override;
    void pause(int milliseconds, QWidget *keepVisible) override;
    void endProgram() override;

    // The kinds of the calls so far, in order.
    QStringList kinds() const;
    int count(const QString &kind) const;

    std::vector<PlatformCall> calls;
    // Answers to questions, first to last; OK when the script is used up.
    std::deque<bool> okCancelAnswers;
    // The folder each folder request opened at, in order.
    std::vector<QString> folderStarts;
    // Answers of the folder picker; "" (cancelled) when the script is used up.
    std::deque<QString> folderAnswers;
    // Answers of the file picker; "" (cancelled) when the script is used up.
    std::deque<QString> fileAnswers;
    bool documentOpenResult = true;
    // Called after each call is recorded, while the caller waits: a test can look at the
    // windows as the user sees them during a box or a pause.
    std::function<void(const PlatformCall &)> onCall;

private:
    void record(const QString &kind, const QString &text, int milliseconds = 0);
};

}  // namespace harbeat::guitest
