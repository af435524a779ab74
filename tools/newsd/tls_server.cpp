#include "tls_server.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

namespace harbeat::newsd {

namespace {

// A socket BIO that sends with MSG_NOSIGNAL: a client that hangs up must not raise SIGPIPE in the
// process that hosts the server (a test program, a benchmark).
int bioWrite(BIO *bio, const char *data, std::size_t length, std::size_t *written) {
    const int socket = static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
    ssize_t n;
    do {
        n = ::send(socket, data, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;
    *written = std::size_t(n);
    return 1;
}

int bioRead(BIO *bio, char *data, std::size_t length, std::size_t *readBytes) {
    const int socket = static_cast<int>(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
    ssize_t n;
    do {
        n = ::recv(socket, data, length, 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;
    *readBytes = std::size_t(n);
    return 1;
}

long bioControl(BIO *, int command, long, void *) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int bioCreate(BIO *bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD *socketMethod() {
    static BIO_METHOD *const method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "newsd socket");
        if (!m) return m;
        BIO_meth_set_write_ex(m, bioWrite);
        BIO_meth_set_read_ex(m, bioRead);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

}  // namespace

void TlsContextDeleter::operator()(ssl_ctx_st *context) const { SSL_CTX_free(context); }

TlsContext loadServerTlsContext(const std::string &certificateFile, const std::string &keyFile) {
    TlsContext context(SSL_CTX_new(TLS_server_method()));
    if (!context) throw std::runtime_error("cannot create a TLS context");
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    if (SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.c_str()) != 1)
        throw std::runtime_error("cannot load the TLS certificate " + certificateFile);
    if (SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context.get()) != 1)
        throw std::runtime_error("cannot load the TLS key " + keyFile);
    ERR_clear_error();
    return context;
}

ssl_st *acceptTls(ssl_ctx_st *context, int socket) {
    SSL *session = SSL_new(context);
    BIO *bio = session && socketMethod() ? BIO_new(socketMethod()) : nullptr;
    if (!bio) {
        SSL_free(session);
        return nullptr;
    }
    BIO_set_data(bio, reinterpret_cast<void *>(static_cast<std::intptr_t>(socket)));
    SSL_set_bio(session, bio, bio);
    if (SSL_accept(session) != 1) {
        ERR_clear_error();
        SSL_free(session);
        return nullptr;
    }
    return session;
}

void endTls(ssl_st *session) {
    if (!session) return;
    SSL_shutdown(session);
    ERR_clear_error();
    SSL_free(session);
}

}  // namespace harbeat::newsd
