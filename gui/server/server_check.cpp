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
#include "settings/value_text.h"

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

}  // namespace harbeat
