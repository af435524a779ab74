// mp3Settings and mp3CancelFunc: the engine's settings and the server check.
#include "core/debug_log.h"
#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/operation.h"
#include "corvane_n.h"
#include "net/socket_wait.h"
#include "nntp/compression.h"
#include "nntp/server_check.h"

namespace {

constexpr int32_t kDebugLogSwitch = 60;

}  // namespace

using namespace corvane;

extern "C" int32_t CORVANE_CALL mp3Settings(char *errorText, StatusCallback callback, const char *server, int32_t port,
                                            const char *user, const char *password, int32_t logSwitch,
                                            int32_t *serverReachable, int32_t *postingAllowed, int32_t connectSpeed) {
    try {
        const OperationScope operation(beginOperation(OperationKind::Call));
        // The caller's thread (the GUI's) gets its answer in bounded time whatever the server does.
        const CallDeadline deadline(callBudget());
        storeStatusCallback(callback);
        EngineSettings settings;
        settings.server = copyArgument(server, kServerCapacity);
        settings.port = port;
        settings.user = copyArgument(user, kUserCapacity);
        settings.password = copyArgument(password, kPasswordCapacity);
        settings.connectSpeed = connectSpeed;
        storeEngineSettings(settings);
        // Each server is asked afresh what it compresses, and one that failed gets another chance.
        forgetServerCompression();

        if (postingAllowed) *postingAllowed = 0;
        if (serverReachable) *serverReachable = 0;
        if (logSwitch == kDebugLogSwitch)
            debugLogStart();
        else
            debugLogStop();

        std::string error;
        if (checkServer(error, settings, serverReachable, postingAllowed)) {
            // A backup server that fails leaves the main server usable: the check still passes,
            // and the error text carries the warning; without one the buffer stays untouched.
            const std::string warning = checkBackupServer(settings, engineOptions());
            if (!warning.empty()) copyErrorText(errorText, warning);
            return -1;
        }
        copyErrorText(errorText, error);
        return 0;
    } catch (...) {
        copyErrorText(errorText, kOutOfMemory);
        return 0;
    }
}

extern "C" void CORVANE_CALL mp3CancelFunc(void) { cancelRunningOperations(); }
