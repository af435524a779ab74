#include "net/connection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/debug_log.h"
#include "core/engine_options.h"
#include "core/error_text.h"
#include "net/compressed_transport.h"
#include "net/pending_bytes.h"
#include "net/socket_errors.h"
#include "net/socket_wait.h"
#include "net/tls_transport.h"

namespace corvane {
namespace {

constexpr std::chrono::milliseconds kReceiveTimeout{60000};
std::atomic<long long> receiveTimeoutMs{kReceiveTimeout.count()};

void setSocketError(std::string &error, int posixErrno) { error = socketErrorText(socketErrorFromErrno(posixErrno)); }

// Socket 0 would read as "no connection"; move it to another descriptor.
int avoidDescriptorZero(int fd) {
    if (fd != 0) return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    return moved;
}

}  // namespace

void setReceiveTimeoutForTests(std::chrono::milliseconds timeout) { receiveTimeoutMs.store(timeout.count()); }
std::chrono::milliseconds receiveTimeout() { return std::chrono::milliseconds(receiveTimeoutMs.load()); }

Connection netConnectPlain(std::string &error, std::string_view host, int32_t port, std::string *officialName) {
    // Windows needs its socket library started at version 1.1 here; POSIX sockets need nothing.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo *found = nullptr;
    const std::string hostText(host);
    errno = 0;
    const int rc = getaddrinfo(hostText.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        error = socketErrorText(rc != 0 ? socketErrorFromResolver(rc, errno) : 11001);
        if (found) freeaddrinfo(found);
        return 0;
    }
    if (officialName) {
        *officialName = found->ai_canonname ? found->ai_canonname : hostText;
        if (officialName->size() > kOfficialNameCapacity) officialName->resize(kOfficialNameCapacity);
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    freeaddrinfo(found);
    address.sin_port = htons(static_cast<uint16_t>(port));

    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) fd = avoidDescriptorZero(fd);
    if (fd < 0) {
        setSocketError(error, errno);
        return 0;
    }
    // The connect waits like a receive: a host that swallows the request must not keep the
    // caller for the system's own minutes of retries, and Stop ends the wait.
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    int rcConnect;
    do {
        rcConnect = connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    } while (rcConnect != 0 && errno == EINTR);
    int failure = rcConnect == 0 ? 0 : errno;
    if (failure == EINPROGRESS || failure == EALREADY) {
        switch (waitForSocket(fd, POLLOUT, receiveDeadline())) {
            case WaitResult::Ready: {
                socklen_t length = sizeof failure;
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &failure, &length) != 0) failure = errno;
                break;
            }
            case WaitResult::TimedOut: failure = ETIMEDOUT; break;
            case WaitResult::Cancelled:
                close(fd);
                error = kCancelled;
                return 0;
            case WaitResult::Failed: failure = errno; break;
        }
    }
    if (failure != 0) {
        close(fd);
        setSocketError(error, failure);
        return 0;
    }
    fcntl(fd, F_SETFL, flags);
    // The system may hand out the number of a socket closed before; nothing kept for that one
    // may reach this connection.
    dropPendingBytes(fd);
    compressClose(fd);
    return fd;
}

Connection netConnect(std::string &error, std::string_view host, int32_t port, std::string *officialName) {
    return netConnectWithTls(error, host, port, officialName, engineOptions().tls);
}

Connection netConnectWithTls(std::string &error, std::string_view host, int32_t port, std::string *officialName,
                             bool tls) {
    const EngineOptions options = engineOptions();
    const Connection connection = netConnectPlain(error, host, port, officialName);
    if (!connection || !tls) return connection;
    if (!tlsStartClient(error, connection, host, port, options.tlsCaFile)) {
        netClose(connection);
        return 0;
    }
    return connection;
}

void netClose(Connection connection) {
    if (connection == 0) return;
    // Whatever was kept behind a reply belongs to this connection alone, on every path.
    dropPendingBytes(connection);
    // What a TLS or compressing server still sends goes unread: the debug log holds clear text.
    const bool compressed = compressClose(connection);
    if (tlsClose(connection) || compressed) {
        shutdown(connection, SHUT_RDWR);
        close(connection);
        return;
    }
    shutdown(connection, SHUT_RDWR);
    // Take whatever the server still sent (after the shutdown this returns at once).
    char scratch[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    std::string ignored;
    netReceive(ignored, connection, scratch, size);
    dropPendingBytes(connection);
    close(connection);
}

namespace {

int rawSend(std::string &error, Connection connection, const char *bytes, std::size_t length) {
    if (tlsIsActive(connection)) return tlsSend(error, connection, bytes, length);
    std::size_t sent = 0;
    while (sent < length) {
        const ssize_t n = send(connection, bytes + sent, length - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            setSocketError(error, errno);
            return 0;
        }
        sent += static_cast<std::size_t>(n);
    }
    return 1;
}

}  // namespace

int netSend(std::string &error, Connection connection, const char *bytes, std::size_t length) {
    if (connection == 0) {
        error = kNotConnected;
        return 0;
    }
    debugLogAppend(bytes, length);
    if (compressIsActive(connection)) {
        const RawSend raw = [connection](std::string &sendError, const char *wire, std::size_t size) {
            return rawSend(sendError, connection, wire, size);
        };
        return compressSend(error, connection, bytes, length, raw);
    }
    return rawSend(error, connection, bytes, length);
}

int netSend(std::string &error, Connection connection, std::string_view text) {
    return netSend(error, connection, text.data(), text.size());
}

namespace {

// One receive of the bytes as they come over the wire (decrypted, still compressed), without the
// debug log.
int rawReceive(std::string &error, Connection connection, char *buffer, std::size_t &size,
               std::chrono::steady_clock::time_point deadline) {
    const std::size_t capacity = size;
    if (tlsIsActive(connection)) {
        if (!tlsReceive(error, connection, buffer, capacity, size, deadline)) return 0;
        buffer[size] = '\0';
        return 1;
    }
    // Data that is already there is taken at once; only an empty socket is waited for.
    ssize_t n;
    do {
        n = recv(connection, buffer, capacity, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        const WaitResult waited = waitForSocket(connection, POLLIN, deadline);
        if (waited != WaitResult::Ready) {
            size = 0;
            if (waited == WaitResult::TimedOut)
                error = kTimedOut;
            else if (waited == WaitResult::Cancelled)
                error = kCancelled;
            else
                setSocketError(error, errno);
            return 0;
        }
        do {
            n = recv(connection, buffer, capacity, 0);
        } while (n < 0 && errno == EINTR);
    }
    if (n < 0) {
        size = 0;
        setSocketError(error, errno);
        return 0;
    }
    // The byte behind the data is always zero, so one receive can be read as text.
    buffer[n] = '\0';
    size = static_cast<std::size_t>(n);
    return 1;
}

}  // namespace

int netReceive(std::string &error, Connection connection, char *buffer, std::size_t &size,
               std::chrono::steady_clock::time_point deadline) {
    deadline = std::min(deadline, receiveDeadline());
    buffer[0] = '\0';
    if (connection == 0) {
        error = kNotConnected;
        return 0;
    }
    if (compressIsActive(connection)) {
        const std::size_t capacity = size;
        const RawReceive raw = [connection, deadline](std::string &rawError, char *into, std::size_t &got) {
            return rawReceive(rawError, connection, into, got, deadline);
        };
        if (!compressReceive(error, connection, buffer, capacity, size, raw)) {
            size = 0;
            return 0;
        }
    } else if (!rawReceive(error, connection, buffer, size, deadline)) {
        return 0;
    }
    // The log holds clear text, whatever the wire carried.
    buffer[size] = '\0';
    debugLogAppend(buffer, size);
    return 1;
}

}  // namespace corvane
