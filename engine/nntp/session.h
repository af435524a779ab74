// The start and end of every NNTP conversation, group selection and the overview format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/engine_options.h"
#include "net/connection.h"

namespace corvane {

// Connects, reads the greeting and logs in when a user name is given. `postingAllowed` becomes 1
// for greeting 200 and 0 for 201. On every failure the connection is closed and 0 returned.
Connection nntpOpenSession(std::string &error, std::string_view server, int32_t port, std::string *officialName,
                           std::string_view user, std::string_view password, int *postingAllowed);
// The same with the server, port and login stored by mp3Settings.
Connection nntpOpenStoredSession(std::string &error, std::string *officialName = nullptr,
                                 int *postingAllowed = nullptr);

// One more session of an operation that already has one, with the stored server and login. As
// nntpOpenStoredSession, except that any refusal of the login (481, 482 or 502 to either
// AUTHINFO command) fails it too: that is how providers answer a connection beyond an account's
// limit.
Connection nntpOpenExtraSession(std::string &error);

// A session with the backup server of `options` (its host, port, TLS switch and login). Any
// refusal of the login fails it, as for an extra session. Never compressed: it carries articles
// only, whose encoded bodies gain little.
Connection nntpOpenBackupSession(std::string &error, const EngineOptions &options);

// "authinfo user" and "authinfo pass"; only a 502 answer to the password refuses the login.
int nntpAuthenticate(std::string &error, Connection connection, std::string_view user, std::string_view password);

// Selects a group; stores count, first and last article number where asked.
int nntpGroup(std::string &error, Connection connection, std::string_view group, int64_t *count = nullptr,
              int64_t *first = nullptr, int64_t *last = nullptr);

// "list overview.fmt": learns the field positions of the overview lines.
int nntpReadOverviewFormat(std::string &error, Connection connection);

// Says QUIT, takes the reply (ignored) when it comes within half a second, and closes.
// Connection 0 does nothing. Always 1.
int nntpQuit(Connection connection);
// Says QUIT on each of a set of sessions and closes them without waiting for the replies: the
// sessions an operation opened besides its own end at once, not one round trip after another.
// Sessions of 0 are passed over.
void nntpQuitAll(const std::vector<Connection> &connections);
// Ends a session after a failure with `error`. After a time-out the server is not answering:
// QUIT is still said, but its reply is not waited for, which would keep the caller another wait.
void nntpQuitAfterFailure(Connection connection, std::string_view error);
// Says QUIT and closes without waiting for the reply.
void nntpQuitWithoutReply(Connection connection);

// Reads a single-line reply: receives until its CR LF has arrived. `reply` is the text as
// received. A closed connection fails with "Connection closed by server.".
int readReplyLine(std::string &error, Connection connection, std::string &reply);

}  // namespace corvane
