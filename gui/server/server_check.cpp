#include "server/server_check.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "engine/engine_binding.h"
#include "settings/shared_flags.h"
#include "notify/notify_slots.h"
#include "server/engine_options.h"
#include "settings/settings.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

// Set on the GUI thread for the whole of a check, the wait included.
bool checkRunning = false;

class RunningCheck {
public:
    RunningCheck() { checkRunning = true; }
    ~RunningCheck() { checkRunning = false; }
    RunningCheck(const RunningCheck &) = delete;
    RunningCheck &operator=(const RunningCheck &) = delete;
};

}  // namespace

bool ServerCheckRunning() { return checkRunning; }

bool CheckServerSettings(QString &errorText) { return CheckServerSettings(errorText, {}); }

bool CheckServerSettings(QString &errorText, const std::function<void()> &whileWaiting) {
    if (checkRunning) {
        errorText = kCheckRunningText;
        return false;
    }
    const RunningCheck running;
    Settings.Server = trimBlanks(Settings.Server.text());
    Settings.UserName = trimBlanks(Settings.UserName.text());
    Settings.Password = trimBlanks(Settings.Password.text());
    Settings.ConnectSpeed = trimBlanks(Settings.ConnectSpeed.text());

    ApplyEngineOptions();
    // Everything the engine reads or writes is the check's own until it answered.
    const QByteArray server = engine::toEngineText(Settings.Server);
    const QByteArray user = engine::toEngineText(Settings.UserName);
    const QByteArray password = engine::toEngineText(Settings.Password);
    const int32_t port = Settings.Port;
    const int32_t debugLevel = DebugLevel;
    const int32_t speed = roundToInt32(leadingNumber(Settings.ConnectSpeed.text()));
    std::array<char, engine::kErrorTextSize> buffer{};
    int32_t ready = SearchReady;
    // The engine also tells whether the server allows posting; the program does not use it.
    int32_t postingAllowed = 0;
    int32_t accepted = 0;
    const auto check = [&] {
        accepted = engine::mp3Settings(buffer.data(), &StatusCallback, server.constData(), port, user.constData(),
                                       password.constData(), debugLevel, &ready, &postingAllowed, speed);
    };
    if (whileWaiting) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            check();
            done.store(true);
        });
        // The caller keeps its window alive; the short sleep keeps the wait from spinning when no
        // event is pending.
        while (!done.load()) {
            whileWaiting();
            if (!done.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        worker.join();
    } else {
        check();
    }
    SearchReady = ready;
    errorText = engine::fromEngineText(buffer.data());
    return accepted != 0;
}

QString LoginRequiredText() {
    return QStringLiteral(
               "Your news server requires a login and password to continue.  Please review the documentation "
               "provided by your Internet Service Provider and enter your Login Id and Password in the Harbeat "
               "Options screen.") +
           QStringLiteral("\r\n\r\nError - Wrong UserName and/or Password.");
}

QString ConnectionFailedText() {
    return QStringLiteral(
        "Harbeat is unable to connect to your news server.  Ensure that you are connected to your Internet Service "
        "Provider.  If your modem is on and you are connected, please click on the Options link and ensure you have "
        "specified the correct news server and port.  Consult your Internet Provider's documentation for this "
        "configuration information.");
}

namespace {

constexpr int32_t kEncryptedNntpPort = 563;
constexpr int32_t kNoSuchGroup = 411;

bool isEncryptionProblem(const QString &errorText) {
    return errorText.startsWith(QStringLiteral("Certificate ")) || errorText.contains(QStringLiteral("encrypt")) ||
           errorText.contains(QStringLiteral("trusted certificates"));
}

bool isNoSuchGroup(const QString &errorText) { return roundToInt32(leadingNumber(errorText)) == kNoSuchGroup; }

}  // namespace

QString ServerErrorText(const QString &errorText) {
    const QString named = QStringLiteral(" (") + kCheckedGroup + QLatin1Char(')');
    if (!isNoSuchGroup(errorText) || errorText.contains(kCheckedGroup)) return errorText;
    return errorText.trimmed() + named;  // the server's reply ends in CR LF
}

bool PlainConnectionToEncryptedPort(const QString &errorText) {
    // A TLS server waits for the client to speak first: a plain client waits for a greeting that
    // never comes, or reads the TLS server's binary answer as no NNTP greeting.
    return !Settings.UseTLS && Settings.Port == kEncryptedNntpPort &&
           (errorText.contains(QStringLiteral("Timed Out")) ||
            errorText.contains(QStringLiteral("is not an NNTP Server")));
}

QString ServerProblemText(const QString &errorText) {
    if (isEncryptionProblem(errorText))
        return QStringLiteral(
                   "Harbeat could not set up the encrypted connection to your news server.  A server with a "
                   "certificate of its own (self-signed, as on a server of your own) is trusted once you choose "
                   "that certificate with \"") +
               kTrustedCertificatesCaption +
               QStringLiteral(
                   "\" under \"Use an encrypted connection (SSL/TLS)\" in the Harbeat Options screen.  Otherwise "
                   "make sure the port is your server's encrypted port (usually 563).");
    if (PlainConnectionToEncryptedPort(errorText))
        return QStringLiteral(
            "Your news server gave no plain answer: port 563 is usually the encrypted port: tick Use an encrypted "
            "connection (SSL/TLS) in the Harbeat Options screen.");
    if (isNoSuchGroup(errorText))
        return QStringLiteral("Your news server answers, but it does not carry the newsgroup ") + kCheckedGroup +
               QStringLiteral(
                   ".  Harbeat needs a news server that carries the binary music newsgroups: check the server name "
                   "in the Harbeat Options screen, or ask your Internet Service Provider which server carries them.");
    return ConnectionFailedText();
}

}  // namespace harbeat
