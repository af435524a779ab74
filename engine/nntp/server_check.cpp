#include "nntp/server_check.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "net/connection.h"
#include "net/text_helpers.h"
#include "nntp/session.h"

namespace corvane {
namespace {

// The group every news server with MP3 groups carries; the check selects it.
constexpr std::string_view kCheckGroup = "alt.binaries.sounds.mp3";

constexpr std::string_view kBackupWarning = "The backup server failed the check: ";

bool sameHost(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

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

std::string checkBackupServer(const EngineSettings &settings, const EngineOptions &options) {
    if (options.backupHost.empty()) return std::string();
    // Asking the main server a second time for what it lacks gives the same answer.
    if (sameHost(options.backupHost, settings.server) && options.backupPort == settings.port)
        return "The backup server is the main server itself: it cannot supply the articles the main server "
               "does not have.";
    std::string error;
    const Connection session = nntpOpenBackupSession(error, options);
    if (!session) return std::string(kBackupWarning) + withoutLineEnd(error);
    nntpQuit(session);
    return std::string();
}

}  // namespace corvane
