// TLS (NNTPS) over a connected socket. A connection stays a plain socket descriptor everywhere in
// the engine; the TLS state of a descriptor lives in a side table that the transport consults.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Runs the client handshake on a connected socket: TLS 1.2 at least, the certificate checked
// against the system store plus `caFile` (PEM, may be empty; only a regular file of at most a
// few megabytes is read), the host name (or address) checked
// against the certificate, the name sent as SNI. The handshake ends after receiveTimeout() at the
// latest. On success the descriptor is registered and 1 is returned; on failure `error` holds a
// message a user can act on, nothing is registered, and the caller closes the socket.
int tlsStartClient(std::string &error, int socket, std::string_view host, int32_t port, const std::string &caFile);

// True when the descriptor carries a TLS session.
bool tlsIsActive(int socket);
// True when its handshake resumed the session of an earlier connection to the same server (the
// later connections of a search or a save skip the full handshake).
bool tlsSessionResumed(int socket);

// The same contracts as netSend / netReceive (without the debug log), over the TLS session.
// A close by the server (close_notify or a bare end of the stream) is a receive of 0 bytes.
int tlsSend(std::string &error, int socket, const char *bytes, std::size_t length);
// Every wait ends at `deadline` (tlsReceive) or one receive wait (the handshake, each piece sent),
// or soon after a cancel ("Operation cancelled by user.").
int tlsReceive(std::string &error, int socket, char *buffer, std::size_t capacity, std::size_t &size,
               std::chrono::steady_clock::time_point deadline);

// The host names and addresses a DER certificate is made out for, as the messages show them
// (printable ASCII, cut short); "" when the bytes are no certificate. The certificate comes from
// the server, so this reads hostile bytes.
std::string certificateHostNames(const unsigned char *der, std::size_t length);

// Sends close_notify when that is possible without waiting, frees the session and forgets the
// descriptor (which the caller then closes). False when the descriptor had no TLS session.
bool tlsClose(int socket);

}  // namespace corvane
