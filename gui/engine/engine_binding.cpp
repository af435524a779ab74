#include "engine/engine_binding.h"

#include <QCoreApplication>
#include <QLibrary>
#include <algorithm>
#include <cstring>
#include <mutex>

namespace harbeat::engine {
namespace {

constexpr char kLibraryName[] = "corvane_n";

class EngineLibrary {
public:
    // Loads the library on the first request, then resolves one export; null when either fails.
    QFunctionPointer resolve(const char *exportName) {
        std::lock_guard lock(mutex_);
        if (lookupForTests_) return lookupForTests_(exportName);
        if (!loadAttempted_) {
            loadAttempted_ = true;
            load();
        }
        if (!library_.isLoaded()) return nullptr;
        QFunctionPointer function = library_.resolve(exportName);
        if (!function) error_ = library_.errorString();
        return function;
    }

    QString loadedFrom() {
        std::lock_guard lock(mutex_);
        return library_.isLoaded() ? library_.fileName() : QString();
    }

    QString error() {
        std::lock_guard lock(mutex_);
        return error_;
    }

    void setLookupForTests(ExportLookup lookup) {
        std::lock_guard lock(mutex_);
        lookupForTests_ = lookup;
    }

private:
    void load() {
        // The program folder first, so the engine built beside the program wins over any other.
        const QString besideProgram = QCoreApplication::applicationDirPath() + QLatin1Char('/') + kLibraryName;
        library_.setFileName(besideProgram);
        if (library_.load()) return;
        const QString firstError = library_.errorString();
        library_.setFileName(QString::fromLatin1(kLibraryName));
        if (library_.load()) return;
        error_ = firstError + QStringLiteral("; ") + library_.errorString();
    }

    std::mutex mutex_;
    QLibrary library_;
    bool loadAttempted_ = false;
    QString error_;
    ExportLookup lookupForTests_ = nullptr;
};

EngineLibrary &engineLibrary() {
    static EngineLibrary library;
    return library;
}

// The export `name` with its type; resolved once, at its first use.
template <typename Function>
Function exportNamed(const char *name) {
    return reinterpret_cast<Function>(engineLibrary().resolve(name));
}

QByteArray unavailableMessage() {
    return ("The engine library " + QString::fromLatin1(kLibraryName) + " cannot be used: " + loadError()).toUtf8();
}

void writeErrorText(char *errorText, const QByteArray &message) {
    if (!errorText) return;
    const auto length = std::min<qsizetype>(message.size(), kErrorTextSize - 1);
    std::memcpy(errorText, message.constData(), static_cast<std::size_t>(length));
    errorText[length] = '\0';
}

}  // namespace

int32_t mp3Settings(char *errorText, ::StatusCallback callback, const char *server, int32_t port, const char *user,
                    const char *password, int32_t logSwitch, int32_t *serverReachable, int32_t *postingAllowed,
                    int32_t connectSpeed) {
    using Fn = int32_t(CORVANE_CALL *)(char *, ::StatusCallback, const char *, int32_t, const char *, const char *,
                                       int32_t, int32_t *, int32_t *, int32_t);
    static const Fn function = exportNamed<Fn>("mp3Settings");
    if (function)
        return function(errorText, callback, server, port, user, password, logSwitch, serverReachable, postingAllowed,
                        connectSpeed);
    if (serverReachable) *serverReachable = 0;
    if (postingAllowed) *postingAllowed = 0;
    writeErrorText(errorText, unavailableMessage());
    return 0;
}

void mp3CancelFunc() {
    using Fn = void(CORVANE_CALL *)();
    static const Fn function = exportNamed<Fn>("mp3CancelFunc");
    if (function) function();
}

intptr_t mp3GetNewsgroups(const char *nameFilter, const char *date) {
    using Fn = intptr_t(CORVANE_CALL *)(const char *, const char *);
    static const Fn function = exportNamed<Fn>("mp3GetNewsgroups");
    return function ? function(nameFilter, date) : -1;
}

intptr_t mp3GetSongs(const char *searchRequest) {
    using Fn = intptr_t(CORVANE_CALL *)(const char *);
    static const Fn function = exportNamed<Fn>("mp3GetSongs");
    return function ? function(searchRequest) : -1;
}

intptr_t mp3BuildSongs(const char *folder, const char *fixedName, const char *songList, int32_t flags) {
    using Fn = intptr_t(CORVANE_CALL *)(const char *, const char *, const char *, int32_t);
    static const Fn function = exportNamed<Fn>("mp3BuildSongs");
    return function ? function(folder, fixedName, songList, flags) : -1;
}

int32_t mp3PostAritcle(char *errorText, const char *from, const char *newsgroups, const char *subject,
                       const char *body) {
    using Fn = int32_t(CORVANE_CALL *)(char *, const char *, const char *, const char *, const char *);
    static const Fn function = exportNamed<Fn>("mp3PostAritcle");
    if (function) return function(errorText, from, newsgroups, subject, body);
    writeErrorText(errorText, unavailableMessage());
    return 0;
}

const char *httpOpenURL(const char *address) {
    using Fn = const char *(CORVANE_CALL *)(const char *);
    static const Fn function = exportNamed<Fn>("httpOpenURL");
    if (function) return function(address);
    static QByteArray message;
    message = unavailableMessage();
    return message.constData();
}

int32_t mp3SetOption(const char *name, const char *value) {
    using Fn = int32_t(CORVANE_CALL *)(const char *, const char *);
    static const Fn function = exportNamed<Fn>("mp3SetOption");
    return function ? function(name, value) : 0;
}

intptr_t mp3OpenNzb(const char *path) {
    using Fn = intptr_t(CORVANE_CALL *)(const char *);
    static const Fn function = exportNamed<Fn>("mp3OpenNzb");
    return function ? function(path) : -1;
}

QString fromEngineText(const char *text) { return text ? QString::fromUtf8(text) : QString(); }

QString loadedFrom() { return engineLibrary().loadedFrom(); }

QString loadError() { return engineLibrary().error(); }

void setExportLookupForTests(ExportLookup lookup) { engineLibrary().setLookupForTests(lookup); }

}  // namespace harbeat::engine
