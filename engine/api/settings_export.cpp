// mp3Settings and mp3CancelFunc: the engine's settings and the server check.
#include "api/debug_log.h"
#include "api/engine_settings.h"
#include "api/error_text.h"
#include "corvane_n.h"
#include "nntp/session.h"

namespace corvane {
namespace {

// The group every news server with MP3 groups carries; the check selects it.
constexpr std::string_view kCheckGroup = "alt.binaries.sounds.mp3";
constexpr int32_t kDebugLogSwitch = 60;

int checkServer(std::string &error, const EngineSettings &settings, int32_t *serverReachable,
                int32_t *postingAllowed) {
    // A plain connection first tells "server unreachable" apart from "not a news server".
    const Connection probe = netConnect(error, settings.server, settings.port, nullptr);
    if (!probe) return 0;
    if (serverReachable) *serverReachable = -1;
    netClose(probe);

    int posting = 0;
    const Connection session = nntpOpenSession(error, settings.server, settings.port, nullptr, settings.user,
                                               settings.password, &posting);
    if (!session) return 0;
    if (!nntpGroup(error, session, kCheckGroup) || !nntpReadOverviewFormat(error, session)) {
        nntpQuit(session);
        return 0;
    }
    if (posting == 1 && postingAllowed) *postingAllowed = -1;
    nntpQuit(session);
    return 1;
}

}  // namespace
}  // namespace corvane

using namespace corvane;

extern "C" int32_t CORVANE_CALL mp3Settings(char *errorText, StatusCallback callback, const char *server, int32_t port,
                                            const char *user, const char *password, int32_t logSwitch,
                                            int32_t *serverReachable, int32_t *postingAllowed,
                                            int32_t connectSpeed) {
    try {
        storeStatusCallback(callback);
        EngineSettings settings;
        settings.server = copyArgument(server, kServerCapacity);
        settings.port = port;
        settings.user = copyArgument(user, kUserCapacity);
        settings.password = copyArgument(password, kPasswordCapacity);
        settings.connectSpeed = connectSpeed;
        storeEngineSettings(settings);

        if (postingAllowed) *postingAllowed = 0;
        if (serverReachable) *serverReachable = 0;
        if (logSwitch == kDebugLogSwitch)
            debugLogStart();
        else
            debugLogStop();

        std::string error;
        if (checkServer(error, settings, serverReachable, postingAllowed)) return -1;
        copyErrorText(errorText, error);
        return 0;
    } catch (...) {
        copyErrorText(errorText, kOutOfMemory);
        return 0;
    }
}

extern "C" void CORVANE_CALL mp3CancelFunc(void) { setCancelRequested(true); }
