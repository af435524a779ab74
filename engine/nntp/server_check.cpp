#include "nntp/server_check.h"

#include <string_view>

#include "net/connection.h"
#include "nntp/session.h"

namespace corvane {
namespace {

// The group every news server with MP3 groups carries; the check selects it.
constexpr std::string_view kCheckGroup = "alt.binaries.sounds.mp3";

}  // namespace

int checkServer(std::string &error, const EngineSettings &settings, int32_t *serverReachable, int32_t *postingAllowed) {
    // A plain connection first tells "server unreachable" apart from "not a news server".
    const Connection probe = netConnect(error, settings.server, settings.port, nullptr);
    if (!probe) return 0;
    if (serverReachable) *serverReachable = -1;
    netClose(probe);

    int posting = 0;
    const Connection session =
        nntpOpenSession(error, settings.server, settings.port, nullptr, settings.user, settings.password, &posting);
    if (!session) return 0;
    if (!nntpGroup(error, session, kCheckGroup) || !nntpReadOverviewFormat(error, session)) {
        nntpQuitAfterFailure(session, error);
        return 0;
    }
    if (posting == 1 && postingAllowed) *postingAllowed = -1;
    nntpQuit(session);
    return 1;
}

}  // namespace corvane
