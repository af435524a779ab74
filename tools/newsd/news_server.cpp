#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <list>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "client_connection.h"
#include "nntp_session.h"
#include "tls_server.h"

namespace harbeat::newsd {

namespace {

void closeDescriptor(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct NewsServer::Impl {
    struct Client {
        int socket = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    Impl(NewsStore &s, ServerOptions o) : store(s), options(std::move(o)) {}

    void acceptLoop();
    // `refuseLogin`: a connection beyond the limit, refused at its first AUTHINFO.
    void serve(Client &client, std::size_t number, bool refuseLogin);
    // Joins and closes the connections whose sessions have ended.
    void reapFinishedLocked();

    NewsStore &store;
    const ServerOptions options;
    TlsContext tls;
    StopSignal stop;
    int listenSocket = -1;
    int wakePipe[2] = {-1, -1};
    std::uint16_t port = 0;
    bool started = false;
    bool stopped = false;
    std::mutex lifecycleMutex;
    std::thread acceptThread;

    std::mutex clientsMutex;
    std::list<std::unique_ptr<Client>> clients;
    std::atomic<std::size_t> accepted{0};
    std::atomic<std::size_t> active{0};
};

NewsServer::NewsServer(NewsStore &store, ServerOptions options)
    : impl_(std::make_unique<Impl>(store, std::move(options))) {}

NewsServer::~NewsServer() { stop(); }

void NewsServer::start(std::uint16_t port) {
    std::lock_guard lifecycle(impl_->lifecycleMutex);
    if (impl_->started) throw std::logic_error("the news server was already started");
    if (!impl_->options.tlsCertificateFile.empty() || !impl_->options.tlsKeyFile.empty())
        impl_->tls = loadServerTlsContext(impl_->options.tlsCertificateFile, impl_->options.tlsKeyFile);
    const int listening = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listening < 0) throw std::system_error(errno, std::generic_category(), "socket");
    int yes = 1;
    ::setsockopt(listening, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::bind(listening, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listening, 128) != 0) {
        const int error = errno;
        ::close(listening);
        throw std::system_error(error, std::generic_category(), "bind 127.0.0.1:" + std::to_string(port));
    }
    socklen_t length = sizeof address;
    ::getsockname(listening, reinterpret_cast<sockaddr *>(&address), &length);
    if (::pipe2(impl_->wakePipe, O_CLOEXEC) != 0) {
        const int error = errno;
        ::close(listening);
        throw std::system_error(error, std::generic_category(), "pipe");
    }
    impl_->listenSocket = listening;
    impl_->port = ntohs(address.sin_port);
    impl_->started = true;
    impl_->acceptThread = std::thread([this] { impl_->acceptLoop(); });
}

std::uint16_t NewsServer::port() const { return impl_->port; }

std::size_t NewsServer::connectionsAccepted() const { return impl_->accepted.load(); }

std::size_t NewsServer::activeConnections() const { return impl_->active.load(); }

void NewsServer::stop() {
    std::lock_guard lifecycle(impl_->lifecycleMutex);
    if (!impl_->started || impl_->stopped) return;
    impl_->stopped = true;
    impl_->stop.request();
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(impl_->wakePipe[1], &wake, 1);
    impl_->acceptThread.join();
    std::lock_guard lock(impl_->clientsMutex);
    for (auto &client : impl_->clients) ::shutdown(client->socket, SHUT_RDWR);
    for (auto &client : impl_->clients) {
        client->thread.join();
        closeDescriptor(client->socket);
    }
    impl_->clients.clear();
    closeDescriptor(impl_->listenSocket);
    closeDescriptor(impl_->wakePipe[0]);
    closeDescriptor(impl_->wakePipe[1]);
}

void NewsServer::Impl::reapFinishedLocked() {
    for (auto it = clients.begin(); it != clients.end();) {
        if ((*it)->done.load()) {
            (*it)->thread.join();
            closeDescriptor((*it)->socket);
            it = clients.erase(it);
        } else {
            ++it;
        }
    }
}

void NewsServer::Impl::acceptLoop() {
    for (;;) {
        pollfd waits[2] = {{listenSocket, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (waits[1].revents != 0 || stop.requested()) return;
        if ((waits[0].revents & POLLIN) == 0) continue;
        const int socket = ::accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) continue;
        int yes = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        const std::size_t number = ++accepted;
        std::lock_guard lock(clientsMutex);
        reapFinishedLocked();
        if (options.dropEvery > 0 && number % options.dropEvery == 0) {
            ::close(socket);
            continue;
        }
        bool refuseLogin = false;
        if (active.load() >= options.maxConnections) {
            using Refusal = ServerOptions::Refusal;
            if (options.refusal == Refusal::Greeting400 || options.refusal == Refusal::Greeting502) {
                const std::string_view busy = options.refusal == Refusal::Greeting400 ? "400 too many connections\r\n"
                                                                                      : "502 too many connections\r\n";
                [[maybe_unused]] const ssize_t sent = ::send(socket, busy.data(), busy.size(), MSG_NOSIGNAL);
            }
            if (options.refusal != Refusal::Login481 && options.refusal != Refusal::Login482 &&
                options.refusal != Refusal::Login502) {
                ::close(socket);
                continue;
            }
            refuseLogin = true;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        Client &added = *client;
        ++active;
        clients.push_back(std::move(client));
        added.thread = std::thread([this, &added, number, refuseLogin] { serve(added, number, refuseLogin); });
    }
}

void NewsServer::Impl::serve(Client &client, std::size_t number, bool refuseLogin) {
    ssl_st *session = tls ? acceptTls(tls.get(), client.socket) : nullptr;
    if (!tls || session) {
        ClientConnection connection(client.socket, session);
        if (options.connectionRateMbit > 0) connection.setRate(options.connectionRateMbit * 1e6);
        NntpSession nntp(connection, store.impl(), options, stop, number);
        if (refuseLogin) nntp.refuseLogin();
        nntp.run();
    } else if (options.logCommands) {
        std::fprintf(stderr, "newsd[%zu] encrypted handshake failed\n", number);
    }
    endTls(session);
    // The descriptor stays open until the thread is joined, so that stop() never shuts down a
    // number that the system has already given to another socket.
    --active;
    ::shutdown(client.socket, SHUT_RDWR);
    client.done.store(true);
}

}  // namespace harbeat::newsd
