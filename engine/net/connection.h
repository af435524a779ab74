// TCP connections to a news server: connect, close, send, and one receive with a fixed wait.
// Every failing operation leaves one message in `error` and returns 0.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// A connected socket; 0 stands for no connection everywhere in the engine.
using Connection = int;

// Receives are done in blocks of this size (callers keep one more byte that stays zero).
inline constexpr std::size_t kReceiveBlock = 4096;
// The longest official host name kept from the resolver.
inline constexpr std::size_t kOfficialNameCapacity = 131;

// Resolves the host (IPv4), connects (within one receive wait), and stores the host's official name when asked. With the
// option "tls" on (read once per call), the connection then speaks TLS from its first byte and
// every other function here runs over it.
Connection netConnect(std::string &error, std::string_view host, int32_t port, std::string *officialName);
// The same with TLS on or off as the caller says (a second server has its own switch); the
// trusted certificates are those of the options.
Connection netConnectWithTls(std::string &error, std::string_view host, int32_t port, std::string *officialName,
                             bool tls);
// The same, always plain TCP whatever the options (the HTTP fetch).
Connection netConnectPlain(std::string &error, std::string_view host, int32_t port, std::string *officialName);
// Shuts the connection down both ways, takes what the server still sent, and closes it.
void netClose(Connection connection);
// Forgets the bytes kept for the connection's next reply (net/pending_bytes.h); netClose calls it.
void dropPendingBytes(Connection connection);
// Sends all bytes. Appends them to the debug log when it is on.
int netSend(std::string &error, Connection connection, const char *bytes, std::size_t length);
int netSend(std::string &error, Connection connection, std::string_view text);
// Waits for data (60 s, or less when `deadline` or the deadline of the running call comes
// first), then receives up to `size` bytes into `buffer`, which must hold size + 1 bytes: the
// byte behind the data is always zero. On return `size` is the number of bytes received; 0 with
// result 1 means the server closed the connection. A cancel requested while waiting ends the
// wait with "Operation cancelled by user.".
int netReceive(std::string &error, Connection connection, char *buffer, std::size_t &size,
               std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());

// The wait of netReceive. The product always waits 60 s; tests shorten it through this hook,
// which the shared library does not export.
void setReceiveTimeoutForTests(std::chrono::milliseconds timeout);
std::chrono::milliseconds receiveTimeout();

}  // namespace corvane
