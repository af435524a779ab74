#include "server/server_check.h"

#include <array>
#include <cstdint>

#include "engine/engine_binding.h"
#include "main/shared_flags.h"
#include "notify/notify_slots.h"
#include "server/engine_options.h"
#include "settings/settings.h"
#include "settings/value_text.h"

namespace harbeat {

bool CheckServerSettings(QString &errorText) {
    Settings.Server = trimBlanks(Settings.Server.text());
    Settings.UserName = trimBlanks(Settings.UserName.text());
    Settings.Password = trimBlanks(Settings.Password.text());
    Settings.ConnectSpeed = trimBlanks(Settings.ConnectSpeed.text());

    std::array<char, engine::kErrorTextSize> buffer{};
    // The engine also tells whether the server allows posting; the program does not use it.
    int32_t postingAllowed = 0;
    ApplyEngineOptions();
    const int32_t accepted = engine::mp3Settings(
        buffer.data(), &StatusCallback, engine::toEngineText(Settings.Server).constData(), Settings.Port,
        engine::toEngineText(Settings.UserName).constData(), engine::toEngineText(Settings.Password).constData(),
        DebugLevel, &SearchReady, &postingAllowed, roundToInt32(leadingNumber(Settings.ConnectSpeed.text())));
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
