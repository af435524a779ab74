#include "net/tls_transport.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <mutex>
#include <unordered_map>

#include "core/error_text.h"
#include "net/connection.h"
#include "net/socket_errors.h"
#include "net/socket_wait.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// One TLS session and what its socket saw; the socket BIO and the verify callback write here.
struct TlsSession {
    int socket = -1;
    SSL *ssl = nullptr;
    std::string server;  // host, port and extra trust: which handshakes may resume this one
    std::string firstBytes;  // the first bytes the server sent, to recognise a plain-text server
    bool peerClosed = false;
    int socketErrno = 0;
    // The first certificate problem found while verifying, with the server certificate's facts.
    long verifyError = X509_V_OK;
    std::string certificateNames;
    std::string validFrom;
    std::string validUntil;

    ~TlsSession() {
        if (ssl) SSL_free(ssl);
    }
};

// Never destroyed: a detached worker may still close its connection while the program exits.
std::mutex &tableMutex = *new std::mutex;
std::unordered_map<int, std::unique_ptr<TlsSession>> &sessions =
    *new std::unordered_map<int, std::unique_ptr<TlsSession>>;

// The last session each server handed out (a TLS 1.3 ticket, or a TLS 1.2 session), so that the
// later connections of a search or a save resume it instead of a full handshake. Only sessions
// of handshakes that passed verification get here; a few servers at most are kept.
constexpr std::size_t kMostResumableServers = 8;
std::mutex &resumableMutex = *new std::mutex;
std::unordered_map<std::string, SSL_SESSION *> &resumable = *new std::unordered_map<std::string, SSL_SESSION *>;

int keepResumableSession(SSL *ssl, SSL_SESSION *handed) {
    const auto *session = static_cast<TlsSession *>(SSL_get_app_data(ssl));
    if (!session || session->server.empty() || !SSL_SESSION_is_resumable(handed)) return 0;
    std::lock_guard lock(resumableMutex);
    if (resumable.size() >= kMostResumableServers && !resumable.count(session->server)) {
        for (auto &[server, kept] : resumable) SSL_SESSION_free(kept);
        resumable.clear();
    }
    SSL_SESSION *&slot = resumable[session->server];
    if (slot) SSL_SESSION_free(slot);
    slot = handed;
    return 1;  // the reference is ours now
}

// Offers the server's last session to a new handshake, when there is one.
void offerResumableSession(SSL *ssl, const std::string &server) {
    std::lock_guard lock(resumableMutex);
    const auto it = resumable.find(server);
    if (it != resumable.end()) SSL_set_session(ssl, it->second);
}

TlsSession *findSession(int socket) {
    std::lock_guard lock(tableMutex);
    const auto it = sessions.find(socket);
    return it == sessions.end() ? nullptr : it->second.get();
}

// The socket BIO: send with MSG_NOSIGNAL (a server that has gone must not raise SIGPIPE in the
// program) and recv without blocking, so every wait is a poll with the receive deadline.
int bioWrite(BIO *bio, const char *data, std::size_t length, std::size_t *written) {
    auto *session = static_cast<TlsSession *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = send(session->socket, data, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_write(bio);
        else
            session->socketErrno = errno;
        return 0;
    }
    *written = static_cast<std::size_t>(n);
    return 1;
}

int bioRead(BIO *bio, char *data, std::size_t length, std::size_t *readBytes) {
    auto *session = static_cast<TlsSession *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    ssize_t n;
    do {
        n = recv(session->socket, data, length, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            BIO_set_retry_read(bio);
        else
            session->socketErrno = errno;
        return 0;
    }
    if (n == 0) {
        session->peerClosed = true;
        return 0;
    }
    if (session->firstBytes.size() < 16)
        session->firstBytes.append(data,
                                   std::min<std::size_t>(static_cast<std::size_t>(n), 16 - session->firstBytes.size()));
    *readBytes = static_cast<std::size_t>(n);
    return 1;
}

long bioControl(BIO *bio, int command, long, void *) {
    if (command == BIO_CTRL_FLUSH) return 1;
    if (command == BIO_CTRL_EOF) return static_cast<TlsSession *>(BIO_get_data(bio))->peerClosed ? 1 : 0;
    return 0;
}

int bioCreate(BIO *bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD *socketMethod() {
    static BIO_METHOD *const method = [] {
        BIO_METHOD *m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "harbeat socket");
        if (!m) return m;
        BIO_meth_set_write_ex(m, bioWrite);
        BIO_meth_set_read_ex(m, bioRead);
        BIO_meth_set_ctrl(m, bioControl);
        BIO_meth_set_create(m, bioCreate);
        return m;
    }();
    return method;
}

// Waits for the socket as OpenSSL asked; false with `error` set when the wait did not end ready.
bool waitAsAsked(std::string &error, int socket, int reason, Clock::time_point deadline, std::string_view timedOut) {
    switch (waitForSocket(socket, reason == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) {
        case WaitResult::Ready: return true;
        case WaitResult::TimedOut: error = timedOut; return false;
        case WaitResult::Cancelled: error = kCancelled; return false;
        case WaitResult::Failed: error = socketErrorText(socketErrorFromErrno(errno)); return false;
    }
    return false;
}

// Certificate texts come from a hostile peer: keep printable ASCII and a sane length.
std::string printable(const unsigned char *text, int length) {
    std::string out;
    for (int i = 0; i < length && out.size() < 80; ++i)
        if (text[i] >= 0x20 && text[i] < 0x7f) out += static_cast<char>(text[i]);
    return out;
}

std::string namesOf(X509 *certificate) {
    std::string names;
    auto add = [&names](const std::string &name) {
        if (name.empty() || names.size() > 160) return;
        if (!names.empty()) names += ", ";
        names += name;
    };
    auto *alternatives =
        static_cast<GENERAL_NAMES *>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alternatives && i < sk_GENERAL_NAME_num(alternatives); ++i) {
        const GENERAL_NAME *name = sk_GENERAL_NAME_value(alternatives, i);
        if (name->type == GEN_DNS) {
            add(printable(ASN1_STRING_get0_data(name->d.dNSName), ASN1_STRING_length(name->d.dNSName)));
        } else if (name->type == GEN_IPADD && ASN1_STRING_length(name->d.iPAddress) == 4) {
            char text[INET_ADDRSTRLEN];
            if (inet_ntop(AF_INET, ASN1_STRING_get0_data(name->d.iPAddress), text, sizeof text)) add(text);
        }
    }
    GENERAL_NAMES_free(alternatives);
    if (names.empty()) {
        char common[256];
        const int length =
            X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, common, sizeof common);
        if (length > 0) add(printable(reinterpret_cast<const unsigned char *>(common), length));
    }
    return names.empty() ? std::string("no host name") : names;
}

std::string dayOf(const ASN1_TIME *time) {
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1) return "unknown date";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

// Keeps the first problem and the server certificate's names and dates for the message.
int verifyCallback(int ok, X509_STORE_CTX *store) {
    if (ok) return ok;
    auto *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto *session = ssl ? static_cast<TlsSession *>(SSL_get_app_data(ssl)) : nullptr;
    if (session && session->verifyError == X509_V_OK) {
        session->verifyError = X509_STORE_CTX_get_error(store);
        if (X509 *leaf = X509_STORE_CTX_get0_cert(store)) {
            session->certificateNames = namesOf(leaf);
            session->validFrom = dayOf(X509_get0_notBefore(leaf));
            session->validUntil = dayOf(X509_get0_notAfter(leaf));
        }
    }
    return ok;
}

std::string certificateMessage(const TlsSession &session) {
    switch (session.verifyError) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "Certificate is for another host (" + session.certificateNames + ").";
        case X509_V_ERR_CERT_HAS_EXPIRED: return "Certificate has expired (valid until " + session.validUntil + ").";
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "Certificate is not valid yet (valid from " + session.validFrom + ").";
        default:
            return std::string("Certificate not trusted (") + X509_verify_cert_error_string(session.verifyError) + ").";
    }
}

// A TLS server answers a ClientHello with a handshake record (22) or an alert (21); a news server
// without TLS greets with a status line such as "200 ...".
bool looksLikePlainText(const std::string &bytes) {
    if (bytes.empty()) return false;
    const auto first = static_cast<unsigned char>(bytes[0]);
    return first != 22 && first != 21 && first >= 0x20 && first < 0x7f;
}

std::string handshakeFailure(const TlsSession &session, int32_t port, unsigned long sslError) {
    if (session.verifyError != X509_V_OK) return certificateMessage(session);
    if (looksLikePlainText(session.firstBytes)) {
        char message[200];
        std::snprintf(message, sizeof message,
                      "The server on port %d answered without encryption: turn SSL/TLS off, or use the "
                      "provider's encrypted port (usually 563).",
                      static_cast<int>(port));
        return message;
    }
    if (session.peerClosed || session.socketErrno == ECONNRESET || session.socketErrno == EPIPE)
        return "The server closed the connection during the encrypted handshake.";
    if (session.socketErrno != 0) return socketErrorText(socketErrorFromErrno(session.socketErrno));
    const char *reason = sslError ? ERR_reason_error_string(sslError) : nullptr;
    return std::string("The encrypted handshake failed (") + (reason ? reason : "unknown reason") + ").";
}

// The file of extra trusted certificates may be anything a user pointed at: only a regular file
// of sane size is read, without blocking (a FIFO would otherwise hold the call for ever).
constexpr off_t kMaxCaFileBytes = off_t(8) << 20;

std::string caFileError(const std::string &caFile) {
    return "The file of trusted certificates cannot be read (" + caFile.substr(0, 160) + ").";
}

bool readCaFile(std::string &error, const std::string &caFile, std::string &pem, struct stat &facts) {
    const int fd = open(caFile.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = caFileError(caFile);
        return false;
    }
    bool ok = fstat(fd, &facts) == 0 && S_ISREG(facts.st_mode) && facts.st_size <= kMaxCaFileBytes;
    if (ok) {
        pem.resize(static_cast<std::size_t>(facts.st_size));
        std::size_t got = 0;
        while (got < pem.size()) {
            const ssize_t n = read(fd, pem.data() + got, pem.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
        pem.resize(got);
    }
    close(fd);
    if (!ok) error = caFileError(caFile);
    return ok;
}

// Adds the certificates (and revocation lists) of a PEM text to the context's store.
bool addPemCertificates(SSL_CTX *context, const std::string &pem) {
    if (pem.size() > static_cast<std::size_t>(kMaxCaFileBytes)) return false;
    BIO *memory = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    if (!memory) return false;
    STACK_OF(X509_INFO) *items = PEM_X509_INFO_read_bio(memory, nullptr, nullptr, nullptr);
    BIO_free(memory);
    X509_STORE *store = SSL_CTX_get_cert_store(context);
    int added = 0;
    for (int i = 0; items && i < sk_X509_INFO_num(items); ++i) {
        X509_INFO *item = sk_X509_INFO_value(items, i);
        if (item->x509 && X509_STORE_add_cert(store, item->x509) == 1) ++added;
        if (item->crl) X509_STORE_add_crl(store, item->crl);
    }
    sk_X509_INFO_pop_free(items, X509_INFO_free);
    ERR_clear_error();
    return added > 0;
}

SSL_CTX *newClientContext(std::string &error, const std::string &caFile, const std::string &pem) {
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    if (!context) {
        error = kOutOfMemory;
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_RENEGOTIATION);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, verifyCallback);
    SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(context, keepResumableSession);
    SSL_CTX_set_default_verify_paths(context);
    if (!caFile.empty() && !addPemCertificates(context, pem)) {
        error = caFileError(caFile);
        SSL_CTX_free(context);
        return nullptr;
    }
    return context;
}

// Reading the system store costs tens of milliseconds, so one context serves every connection
// until the extra certificate file is another one or has changed on disk.
struct CachedContext {
    std::mutex mutex;
    SSL_CTX *context = nullptr;
    std::string caFile;
    struct timespec caModified {};
    off_t caSize = -1;
};

bool sameFile(const CachedContext &cache, const std::string &caFile, const struct stat &facts) {
    return cache.context && cache.caFile == caFile && cache.caSize == facts.st_size &&
           cache.caModified.tv_sec == facts.st_mtim.tv_sec && cache.caModified.tv_nsec == facts.st_mtim.tv_nsec;
}

// A context with one reference for the caller, or null with `error` set. Files are read and
// contexts built outside the lock, so a slow file never holds up the other connections.
SSL_CTX *clientContext(std::string &error, const std::string &caFile) {
    // Never destroyed, like the session table: a worker may connect while the program exits.
    static CachedContext &cache = *new CachedContext;
    struct stat facts {};
    if (!caFile.empty() && stat(caFile.c_str(), &facts) != 0) facts = {};
    {
        std::lock_guard lock(cache.mutex);
        if (sameFile(cache, caFile, facts)) {
            SSL_CTX_up_ref(cache.context);
            return cache.context;
        }
    }
    std::string pem;
    if (!caFile.empty()) {
        facts = {};
        if (!readCaFile(error, caFile, pem, facts)) return nullptr;
    }
    SSL_CTX *fresh = newClientContext(error, caFile, pem);
    if (!fresh) return nullptr;
    std::lock_guard lock(cache.mutex);
    if (cache.context) SSL_CTX_free(cache.context);
    cache.context = fresh;
    cache.caFile = caFile;
    cache.caSize = facts.st_size;
    cache.caModified = facts.st_mtim;
    SSL_CTX_up_ref(cache.context);
    return cache.context;
}

// Names get SNI and name checking; an address literal gets address checking and no SNI (RFC 6066).
void setExpectedHost(SSL *ssl, const std::string &host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), host.c_str());
        return;
    }
    SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    SSL_set1_host(ssl, host.c_str());
    SSL_set_tlsext_host_name(ssl, host.c_str());
}

}  // namespace

int tlsStartClient(std::string &error, int socket, std::string_view host, int32_t port, const std::string &caFile) {
    SSL_CTX *context = clientContext(error, caFile);
    if (!context) return 0;
    auto session = std::make_unique<TlsSession>();
    session->socket = socket;
    session->ssl = SSL_new(context);
    SSL_CTX_free(context);  // the session keeps its own reference
    BIO *bio = socketMethod() ? BIO_new(socketMethod()) : nullptr;
    if (!session->ssl || !bio) {
        BIO_free(bio);
        error = kOutOfMemory;
        return 0;
    }
    BIO_set_data(bio, session.get());
    SSL_set_bio(session->ssl, bio, bio);
    SSL_set_app_data(session->ssl, session.get());
    setExpectedHost(session->ssl, std::string(host));
    session->server = std::string(host) + ":" + std::to_string(port) + ":" + caFile;
    offerResumableSession(session->ssl, session->server);

    const auto deadline = receiveDeadline();
    for (;;) {
        ERR_clear_error();
        const int rc = SSL_connect(session->ssl);
        if (rc == 1) break;
        const int reason = SSL_get_error(session->ssl, rc);
        if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
            if (waitAsAsked(error, socket, reason, deadline,
                            "Timed Out, the server did not answer the encrypted handshake."))
                continue;
            return 0;
        }
        error = handshakeFailure(*session, port, ERR_peek_last_error());
        ERR_clear_error();
        return 0;
    }
    std::lock_guard lock(tableMutex);
    sessions[socket] = std::move(session);
    return 1;
}

bool tlsIsActive(int socket) { return findSession(socket) != nullptr; }

bool tlsSessionResumed(int socket) {
    std::lock_guard lock(tableMutex);
    const auto it = sessions.find(socket);
    return it != sessions.end() && SSL_session_reused(it->second->ssl) == 1;
}

int tlsSend(std::string &error, int socket, const char *bytes, std::size_t length) {
    TlsSession *session = findSession(socket);
    if (!session) {
        error = kNotConnected;
        return 0;
    }
    std::size_t sent = 0;
    // A send that cannot go on for the receive wait has lost its server; the wait is re-armed by
    // every piece that goes out.
    auto deadline = receiveDeadline();
    while (sent < length) {
        ERR_clear_error();
        std::size_t written = 0;
        const int rc = SSL_write_ex(session->ssl, bytes + sent, length - sent, &written);
        if (rc == 1) {
            sent += written;
            deadline = receiveDeadline();
            continue;
        }
        const int reason = SSL_get_error(session->ssl, rc);
        if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
            if (waitAsAsked(error, socket, reason, deadline, kTimedOut)) continue;
            return 0;
        }
        if (session->socketErrno != 0)
            error = socketErrorText(socketErrorFromErrno(session->socketErrno));
        else
            error = kConnectionClosed;
        ERR_clear_error();
        return 0;
    }
    return 1;
}

int tlsReceive(std::string &error, int socket, char *buffer, std::size_t capacity, std::size_t &size,
               Clock::time_point deadline) {
    TlsSession *session = findSession(socket);
    if (!session) {
        error = kNotConnected;
        return 0;
    }
    size = 0;
    // Bytes OpenSSL already holds (SSL_pending) are taken by the first read without any wait; only
    // an empty session waits on the socket.
    for (;;) {
        ERR_clear_error();
        std::size_t got = 0;
        const int rc = SSL_read_ex(session->ssl, buffer, capacity, &got);
        if (rc == 1) {
            size = got;
            return 1;
        }
        const int reason = SSL_get_error(session->ssl, rc);
        if (reason == SSL_ERROR_ZERO_RETURN) return 1;
        if (reason == SSL_ERROR_WANT_READ || reason == SSL_ERROR_WANT_WRITE) {
            if (waitAsAsked(error, socket, reason, deadline, kTimedOut)) continue;
            return 0;
        }
        ERR_clear_error();
        // A server that drops the connection without close_notify has closed it all the same; the
        // NNTP terminator, not the TLS layer, tells whether a response is complete.
        if (session->peerClosed) return 1;
        if (session->socketErrno != 0) {
            error = socketErrorText(socketErrorFromErrno(session->socketErrno));
            return 0;
        }
        error = "The encrypted connection failed (the server sent damaged data).";
        return 0;
    }
}

std::string certificateHostNames(const unsigned char *der, std::size_t length) {
    const unsigned char *cursor = der;
    X509 *certificate = d2i_X509(nullptr, &cursor, static_cast<long>(std::min<std::size_t>(length, 1u << 20)));
    if (!certificate) {
        ERR_clear_error();
        return {};
    }
    std::string names = namesOf(certificate);
    X509_free(certificate);
    return names;
}

bool tlsClose(int socket) {
    std::unique_ptr<TlsSession> session;
    {
        std::lock_guard lock(tableMutex);
        const auto it = sessions.find(socket);
        if (it == sessions.end()) return false;
        session = std::move(it->second);
        sessions.erase(it);
    }
    if (!session->peerClosed && session->socketErrno == 0) SSL_shutdown(session->ssl);
    ERR_clear_error();
    return true;
}

}  // namespace corvane
