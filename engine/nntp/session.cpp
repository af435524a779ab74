#include "nntp/session.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "net/text_helpers.h"
#include "nntp/compression.h"

namespace corvane {
namespace {

int sendCommand(std::string &error, Connection connection, std::string_view verb, std::string_view argument) {
    std::string command(verb);
    command.append(argument);
    command += "\r\n";
    return netSend(error, connection, command);
}

// Reads the decimal number at `text[pos]` and moves past it; false when there is none.
bool readNumberWord(std::string_view text, std::size_t &pos, int64_t &value) {
    while (pos < text.size() && text[pos] == ' ') ++pos;
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] != ' ' && text[pos] != '\r' && text[pos] != '\n') ++pos;
    if (pos == start) return false;
    value = std::strtoll(std::string(text.substr(start, pos - start)).c_str(), nullptr, 10);
    return true;
}

constexpr std::chrono::milliseconds kQuitGrace{500};

// A refusal of the login that an extra session gets from a provider whose account allows no more
// connections ("481 too many connections").
bool refusesLogin(std::string_view reply) {
    const int code = replyCode(reply);
    return code == 481 || code == 482 || code == 502;
}

int authenticate(std::string &error, Connection connection, std::string_view user, std::string_view password,
                 bool strict) {
    std::string reply;
    if (!sendCommand(error, connection, "authinfo user ", user)) return 0;
    if (!readReplyLine(error, connection, reply)) return 0;
    if (strict && refusesLogin(reply)) {
        error = reply;
        return 0;
    }
    // 281 to the user name means no password is wanted; sending one then would be refused.
    if (replyCode(reply) == 281) return 1;
    if (!sendCommand(error, connection, "authinfo pass ", password)) return 0;
    if (!readReplyLine(error, connection, reply)) return 0;
    if (replyCode(reply) == 502 || (strict && refusesLogin(reply))) {
        error = reply;
        return 0;
    }
    return 1;
}

// How a session is opened beyond its server and login.
struct SessionWay {
    bool strictLogin = false;
    bool tls = false;
    bool compress = false;
};

SessionWay mainServerWay(bool strictLogin) {
    const EngineOptions options = engineOptions();
    return {strictLogin, options.tls, options.compress};
}

Connection openSession(std::string &error, std::string_view server, int32_t port, std::string *officialName,
                       std::string_view user, std::string_view password, int *postingAllowed, SessionWay way);

}  // namespace

Connection nntpOpenSession(std::string &error, std::string_view server, int32_t port, std::string *officialName,
                           std::string_view user, std::string_view password, int *postingAllowed) {
    return openSession(error, server, port, officialName, user, password, postingAllowed, mainServerWay(false));
}

Connection nntpOpenExtraSession(std::string &error) {
    const EngineSettings settings = engineSettings();
    return openSession(error, settings.server, settings.port, nullptr, settings.user, settings.password, nullptr,
                       mainServerWay(true));
}

Connection nntpOpenBackupSession(std::string &error, const EngineOptions &options) {
    return openSession(error, options.backupHost, options.backupPort, nullptr, options.backupUser,
                       options.backupPassword, nullptr, SessionWay{true, options.backupTls, false});
}

namespace {

Connection openSession(std::string &error, std::string_view server, int32_t port, std::string *officialName,
                       std::string_view user, std::string_view password, int *postingAllowed, SessionWay way) {
    const Connection connection = netConnectWithTls(error, server, port, officialName, way.tls);
    if (!connection) return 0;
    std::string greeting;
    if (!readReplyLine(error, connection, greeting)) {
        netClose(connection);
        return 0;
    }
    switch (replyCode(greeting)) {
        case 200:
            if (postingAllowed) *postingAllowed = 1;
            break;
        case 201:
            if (postingAllowed) *postingAllowed = 0;
            break;
        case 400:
            error = "News Server Busy, Try Again Later.";
            netClose(connection);
            return 0;
        default: {
            char message[400];
            std::snprintf(message, sizeof message, "Address %.*s, Port %u is not an NNTP Server.",
                          static_cast<int>(server.size()), server.data(), static_cast<unsigned>(port));
            error = message;
            netClose(connection);
            return 0;
        }
    }
    if (!user.empty() && !authenticate(error, connection, user, password, way.strictLogin)) {
        netClose(connection);
        return 0;
    }
    // After the login, so that nothing secret crosses the compressed stream and AUTHINFO (which
    // a compressing server refuses) is already done.
    if (way.compress && !nntpStartCompression(error, connection, server, port)) {
        netClose(connection);
        return 0;
    }
    return connection;
}

}  // namespace

Connection nntpOpenStoredSession(std::string &error, std::string *officialName, int *postingAllowed) {
    const EngineSettings settings = engineSettings();
    return nntpOpenSession(error, settings.server, settings.port, officialName, settings.user, settings.password,
                           postingAllowed);
}

int nntpAuthenticate(std::string &error, Connection connection, std::string_view user, std::string_view password) {
    return authenticate(error, connection, user, password, false);
}

int nntpGroup(std::string &error, Connection connection, std::string_view group, int64_t *count, int64_t *first,
              int64_t *last) {
    if (!sendCommand(error, connection, "group ", group)) return 0;
    std::string reply;
    if (!readReplyLine(error, connection, reply)) return 0;
    if (replyCode(reply) != 211) {
        error = reply;
        return 0;
    }
    // "211 count first last name": the second, third and fourth words.
    std::size_t pos = reply.find(' ');
    int64_t *targets[] = {count, first, last};
    for (int64_t *target : targets) {
        int64_t value;
        if (pos == std::string::npos || !readNumberWord(reply, pos, value)) break;
        if (target) *target = value;
    }
    return 1;
}

int nntpQuit(Connection connection) {
    if (connection == 0) return 1;
    std::string ignored;
    if (netSend(ignored, connection, "QUIT\r\n")) {
        // A server answers QUIT at once; one that does not must not keep the caller: its reply is
        // taken only within a short grace.
        char buffer[kReceiveBlock + 1];
        std::size_t size = kReceiveBlock;
        netReceive(ignored, connection, buffer, size, std::chrono::steady_clock::now() + kQuitGrace);
    }
    netClose(connection);
    return 1;
}

void nntpQuitAll(const std::vector<Connection> &connections) {
    for (Connection connection : connections) nntpQuitWithoutReply(connection);
}

void nntpQuitAfterFailure(Connection connection, std::string_view error) {
    if (isTimeOut(error))
        nntpQuitWithoutReply(connection);
    else
        nntpQuit(connection);
}

void nntpQuitWithoutReply(Connection connection) {
    if (connection == 0) return;
    std::string ignored;
    netSend(ignored, connection, "QUIT\r\n");
    netClose(connection);
}

}  // namespace corvane
