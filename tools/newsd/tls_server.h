// The server side of TLS for harbeat-newsd: one context per server, made from a certificate chain
// and a private key in PEM files, and the handshake on each accepted socket.
#pragma once

#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

namespace harbeat::newsd {

struct TlsContextDeleter {
    void operator()(ssl_ctx_st *context) const;
};
using TlsContext = std::unique_ptr<ssl_ctx_st, TlsContextDeleter>;

// Loads the certificate chain and key; throws std::runtime_error naming the file that failed.
TlsContext loadServerTlsContext(const std::string &certificateFile, const std::string &keyFile);

// Runs the server handshake on a blocking socket. Null when it fails (the client went away, spoke
// no TLS, or refused the certificate); the caller still closes the socket.
ssl_st *acceptTls(ssl_ctx_st *context, int socket);
// Sends close_notify (best effort) and frees the session.
void endTls(ssl_st *session);

}  // namespace harbeat::newsd
