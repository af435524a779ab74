// The transport over TLS: clear text above it, certificate and host checks, servers that speak no
// TLS or stop half-way, and no descriptor left behind by a failing connect.
#include "net/tls_transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <memory>
#include <set>
#include <thread>

#include "core/debug_log.h"
#include "core/engine_options.h"
#include "core/operation.h"
#include "http/http_fetch.h"
#include "net/connection.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
#include "newsd/news_server.h"
#include "newsd/tls_server.h"
#include "support/scripted_peer.h"
#include "support/test_certificates.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::newsd::NewsServer;
using harbeat::newsd::NewsStore;
using harbeat::test::CertificateFiles;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;
using harbeat::test::TestCertificates;

namespace {

const TestCertificates &certificates() {
    static const TestCertificates made;
    return made;
}

std::string receiveText(Connection connection) {
    char buffer[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    std::string error;
    EXPECT_EQ(netReceive(error, connection, buffer, size), 1) << error;
    return std::string(buffer, size);
}

// A bundled server on its own store; TLS with `files` when given.
struct Server {
    explicit Server(const CertificateFiles *files = nullptr) : server(store, optionsFor(files)) {
        store.addGroup("alt.binaries.sounds.mp3", 0, true);
        server.start(0);
    }
    static harbeat::newsd::ServerOptions optionsFor(const CertificateFiles *files) {
        harbeat::newsd::ServerOptions options;
        if (files) {
            options.tlsCertificateFile = files->certificate;
            options.tlsKeyFile = files->key;
        }
        return options;
    }
    NewsStore store;
    NewsServer server;
};

class TlsTransport : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngineOptionsForTests();
        ASSERT_TRUE(setEngineOption("tls", "1"));
        ASSERT_TRUE(setEngineOption("tls-ca-file", certificates().caFile()));
    }
    void TearDown() override { resetEngineOptionsForTests(); }
};

TEST_F(TlsTransport, ClearTextAboveTheEncryptionAndInTheDebugLog) {
    harbeat::test::TemporaryHome home;
    debugLogStart();
    Server tls(&certificates().trusted());
    // By address (checked against the certificate's IP entry) and by name (SNI and DNS entry).
    for (const char *host : {"127.0.0.1", "localhost"}) {
        std::string error;
        const Connection connection = netConnect(error, host, tls.server.port(), nullptr);
        ASSERT_NE(connection, 0) << host << ": " << error;
        EXPECT_TRUE(tlsIsActive(connection));
        EXPECT_EQ(receiveText(connection).substr(0, 4), "200 ");
        ASSERT_EQ(netSend(error, connection, "GROUP alt.binaries.sounds.mp3\r\n"), 1) << error;
        EXPECT_EQ(receiveText(connection), "211 0 1 0 alt.binaries.sounds.mp3\r\n");
        netClose(connection);
        EXPECT_FALSE(tlsIsActive(connection));
    }
    debugLogStop();
    const std::string log = harbeat::test::readFile(debugLogPath());
    EXPECT_NE(log.find("GROUP alt.binaries.sounds.mp3\r\n211 0 1 0 alt.binaries.sounds.mp3\r\n"), std::string::npos)
        << log;
}

// The later connections to a server resume the session of the first instead of a full handshake,
// and still carry the conversation.
TEST_F(TlsTransport, LaterConnectionsResumeTheSession) {
    Server tls(&certificates().trusted());
    for (int round = 0; round < 3; ++round) {
        std::string error;
        const Connection connection = netConnect(error, "127.0.0.1", tls.server.port(), nullptr);
        ASSERT_NE(connection, 0) << error;
        // The server hands its session out after the handshake: it is taken with the greeting.
        EXPECT_EQ(receiveText(connection).substr(0, 4), "200 ");
        EXPECT_EQ(tlsSessionResumed(connection), round > 0) << round;
        ASSERT_EQ(netSend(error, connection, "GROUP alt.binaries.sounds.mp3\r\n"), 1) << error;
        EXPECT_EQ(receiveText(connection), "211 0 1 0 alt.binaries.sounds.mp3\r\n");
        netClose(connection);
    }
}

enum class Files { Trusted, SelfSigned, Expired, OtherHost };

struct CertificateCase {
    const char *name;
    Files files;
    bool trustTestCa;
    const char *caFile;  // overrides the test CA when not null
    std::string expected;
};

class CertificateProblems : public TlsTransport, public ::testing::WithParamInterface<CertificateCase> {};

TEST_P(CertificateProblems, RefusedWithAClearText) {
    const CertificateCase &c = GetParam();
    const TestCertificates &made = certificates();
    const CertificateFiles *files[] = {&made.trusted(), &made.selfSigned(), &made.expired(), &made.otherHost()};
    ASSERT_TRUE(setEngineOption("tls-ca-file", c.caFile ? c.caFile : c.trustTestCa ? made.caFile() : ""));
    Server tls(files[static_cast<int>(c.files)]);
    std::string error;
    EXPECT_EQ(netConnect(error, "127.0.0.1", tls.server.port(), nullptr), 0);
    const std::string expected =
        c.expected == "expired" ? "Certificate has expired (valid until " + made.expiredOn() + ")." : c.expected;
    EXPECT_EQ(error, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tls, CertificateProblems,
    ::testing::Values(CertificateCase{"SelfSigned", Files::SelfSigned, true, nullptr,
                                      "Certificate not trusted (self-signed certificate)."},
                      CertificateCase{"Expired", Files::Expired, true, nullptr, "expired"},
                      CertificateCase{"OtherHost", Files::OtherHost, true, nullptr,
                                      "Certificate is for another host (news.example.net)."},
                      CertificateCase{"UnknownCa", Files::Trusted, false, nullptr,
                                      "Certificate not trusted (unable to get local issuer certificate)."},
                      CertificateCase{"UnreadableCaFile", Files::Trusted, true, "/nonexistent/ca.pem",
                                      "The file of trusted certificates cannot be read (/nonexistent/ca.pem)."}),
    [](const auto &info) { return std::string(info.param.name); });

struct PeerCase {
    const char *name;
    void (*script)(ScriptedPeer &);
    std::string expected;  // "%d" stands for the port
};

class NonTlsPeers : public TlsTransport, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(NonTlsPeers, EndWithAClearTextAndNoHang) {
    harbeat::test::ShortReceiveWait wait(300ms);
    ScriptedPeer peer;
    GetParam().script(peer);
    peer.start();
    std::string expected = GetParam().expected;
    if (const auto at = expected.find("%d"); at != std::string::npos)
        expected.replace(at, 2, std::to_string(peer.port()));
    std::string error;
    EXPECT_EQ(netConnect(error, "127.0.0.1", peer.port(), nullptr), 0);
    EXPECT_EQ(error, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tls, NonTlsPeers,
    ::testing::Values(
        PeerCase{"PlainTextServer", [](ScriptedPeer &p) { p.send("200 news.example ready\r\n").silent(3s); },
                 "The server on port %d answered without encryption: turn SSL/TLS off, or use the provider's "
                 "encrypted port (usually 563)."},
        PeerCase{"ClosesDuringHandshake", [](ScriptedPeer &p) { p.silent(50ms).close(); },
                 "The server closed the connection during the encrypted handshake."},
        PeerCase{"NeverAnswers", [](ScriptedPeer &p) { p.silent(3s); },
                 "Timed Out, the server did not answer the encrypted handshake."}),
    [](const auto &info) { return std::string(info.param.name); });

// A TLS server on a thread that greets, takes one command, sends the start of an article and
// goes away, with or without close_notify.
class CutArticleServer {
public:
    CutArticleServer(const CertificateFiles &files, bool closeNotify)
        : context_(harbeat::newsd::loadServerTlsContext(files.certificate, files.key)) {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(listen_, reinterpret_cast<sockaddr *>(&address), length);
        listen(listen_, 1);
        getsockname(listen_, reinterpret_cast<sockaddr *>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this, closeNotify] {
            const int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            ssl_st *session = harbeat::newsd::acceptTls(context_.get(), client);
            if (session) {
                SSL_write(session, "200 ready\r\n", 11);
                char command[256];
                SSL_read(session, command, sizeof command);
                const std::string partial = "222 0 <a@b> body\r\nline one\r\nline tw";
                SSL_write(session, partial.data(), static_cast<int>(partial.size()));
                if (closeNotify)
                    harbeat::newsd::endTls(session);
                else
                    SSL_free(session);
            }
            ::close(client);
        });
    }
    ~CutArticleServer() {
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }

private:
    harbeat::newsd::TlsContext context_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
};

TEST_F(TlsTransport, CloseInTheMiddleOfAnArticleEndsTheRead) {
    for (const bool closeNotify : {true, false}) {
        CutArticleServer server(certificates().trusted(), closeNotify);
        std::string error, body;
        const Connection connection = netConnect(error, "127.0.0.1", server.port(), nullptr);
        ASSERT_NE(connection, 0) << error;
        EXPECT_EQ(receiveText(connection), "200 ready\r\n");
        ASSERT_EQ(netSend(error, connection, "BODY <a@b>\r\n"), 1) << error;
        EXPECT_EQ(readMultiLineResponse(error, connection, 222, kResponseTerminator, body), 0);
        EXPECT_EQ(error, "Connection closed by server.") << closeNotify;
        netClose(connection);
    }
}

// Descriptors of this process other than the server side of the test servers (whose finished
// connections the servers close lazily).
std::size_t clientSideDescriptors(const std::set<int> &serverPorts) {
    std::size_t count = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        sockaddr_in address{};
        socklen_t length = sizeof address;
        if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 && address.sin_family == AF_INET &&
            serverPorts.count(ntohs(address.sin_port)))
            continue;
        ++count;
    }
    return count;
}

TEST_F(TlsTransport, FailingConnectsLeaveNoDescriptor) {
    Server plain, selfSigned(&certificates().selfSigned()), expired(&certificates().expired());
    Server trusted(&certificates().trusted());
    const std::set<int> ports = {plain.server.port(), selfSigned.server.port(), expired.server.port(),
                                 trusted.server.port()};
    auto connectAll = [&] {
        for (const Server *server : {&plain, &selfSigned, &expired}) {
            std::string error;
            EXPECT_EQ(netConnect(error, "127.0.0.1", server->server.port(), nullptr), 0);
        }
        std::string error;
        const Connection good = netConnect(error, "127.0.0.1", trusted.server.port(), nullptr);
        EXPECT_NE(good, 0) << error;
        netClose(good);
    };
    connectAll();  // the library's one-time set-up is not a leak
    const std::size_t before = clientSideDescriptors(ports);
    for (int i = 0; i < 30; ++i) connectAll();
    EXPECT_EQ(clientSideDescriptors(ports), before);
}

TEST(TlsOff, NothingChangesWithoutTheOption) {
    resetEngineOptionsForTests();
    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n").expect("QUIT\r\n").send("205 bye\r\n");
    peer.start();
    std::string error;
    const Connection connection = netConnect(error, "127.0.0.1", peer.port(), nullptr);
    ASSERT_NE(connection, 0) << error;
    EXPECT_FALSE(tlsIsActive(connection));
    EXPECT_EQ(receiveText(connection), "200 news.example ready\r\n");
    ASSERT_EQ(netSend(error, connection, "QUIT\r\n"), 1);
    EXPECT_EQ(receiveText(connection), "205 bye\r\n");
    netClose(connection);
    EXPECT_TRUE(peer.waitDone());
    EXPECT_TRUE(peer.failures().empty());
}

TEST(TlsOn, HttpFetchStaysPlain) {
    resetEngineOptionsForTests();
    ASSERT_TRUE(setEngineOption("tls", "1"));
    ScriptedPeer peer;
    peer.expect("GET http://127.0.0.1/list\r\n").send("one\r\ntwo\r\n").close();
    peer.start();
    setHttpPortForTests(peer.port());
    EXPECT_STREQ(httpFetch("127.0.0.1/list"), "one\r\ntwo\r\n");
    setHttpPortForTests(0);
    resetEngineOptionsForTests();
    EXPECT_TRUE(peer.failures().empty());
}

// Bytes kept behind a reply belong to their connection alone: after a close on any path, a
// connection that is given the same descriptor number starts with nothing kept, over TLS as over
// plain TCP.
TEST_F(TlsTransport, KeptBytesDieWithTheirConnection) {
    Server tls(&certificates().trusted());
    Server plain;
    for (const bool overTls : {true, false}) {
        SCOPED_TRACE(overTls ? "tls" : "plain");
        ASSERT_TRUE(setEngineOption("tls", overTls ? "1" : "0"));
        const int port = (overTls ? tls : plain).server.port();
        std::string error;
        const Connection first = netConnect(error, "127.0.0.1", port, nullptr);
        ASSERT_NE(first, 0) << error;
        keepPendingBytes(first, "211 1 1 1 planted.group\r\n");
        netClose(first);
        EXPECT_FALSE(hasPendingBytes(first));

        // A row left behind by a socket closed outside netClose is not handed to the next one.
        const Connection second = netConnect(error, "127.0.0.1", port, nullptr);
        ASSERT_NE(second, 0) << error;
        keepPendingBytes(second + 1, "stale");
        netClose(second);
        const Connection third = netConnect(error, "127.0.0.1", port, nullptr);
        const Connection fourth = netConnect(error, "127.0.0.1", port, nullptr);
        for (const Connection c : {third, fourth}) {
            ASSERT_NE(c, 0) << error;
            EXPECT_FALSE(hasPendingBytes(c)) << c;
            EXPECT_EQ(receiveText(c).substr(0, 4), "200 ");
        }
        netClose(third);
        netClose(fourth);
        dropPendingBytes(second + 1);
    }
}

// Stop ends a handshake that the server never answers, and a file of trusted certificates that
// is a FIFO is refused at once instead of blocking the call (and every other connection).
TEST_F(TlsTransport, NeitherASilentHandshakeNorAFifoHoldsTheCall) {
    ShortReceiveWait wait(20s);
    ScriptedPeer peer;
    peer.silent(30s);
    peer.start();
    auto operation = std::make_unique<OperationScope>(beginOperation(OperationKind::Call));
    std::thread stop([] {
        std::this_thread::sleep_for(200ms);
        cancelRunningOperations();
    });
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(netConnect(error, "127.0.0.1", peer.port(), nullptr), 0);
    stop.join();
    EXPECT_EQ(error, "Operation cancelled by user.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);

    operation.reset();
    harbeat::test::TemporaryHome home;
    const std::string fifo = (home.path() / "trusted.pem").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(setEngineOption("tls-ca-file", fifo));
    Server tls(&certificates().trusted());
    auto connecting = std::async(std::launch::async, [&tls] {
        std::string error;
        const Connection c = netConnect(error, "127.0.0.1", tls.server.port(), nullptr);
        netClose(c);
        return error;
    });
    if (connecting.wait_for(5s) != std::future_status::ready) {
        ADD_FAILURE() << "the connect blocks on the FIFO";
        const int writer = open(fifo.c_str(), O_WRONLY);  // lets it go on
        close(writer);
    }
    EXPECT_EQ(connecting.get(), "The file of trusted certificates cannot be read (" + fifo + ").");
}

}  // namespace
