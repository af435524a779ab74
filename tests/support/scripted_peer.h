// A scripted NNTP peer on 127.0.0.1 for engine tests: a server thread that accepts connections
// and plays a script per connection (expect a command, answer bytes, split a reply over several
// sends, stay silent, close). Mismatches are collected and reported by the test.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace harbeat::test {

class ScriptedPeer {
public:
    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer &) = delete;
    ScriptedPeer &operator=(const ScriptedPeer &) = delete;

    int port() const { return port_; }

    // Script steps, added before start(); they apply to the current connection.
    ScriptedPeer &send(std::string bytes);
    // Sends the pieces one after another with a pause between them.
    ScriptedPeer &sendSplit(std::vector<std::string> pieces,
                            std::chrono::milliseconds gap = std::chrono::milliseconds(30));
    // Reads one line (up to CR LF) and checks it equals `line` (CR LF included).
    ScriptedPeer &expect(std::string line);
    // Reads bytes up to and including `terminator` and keeps them for capturedBlocks().
    ScriptedPeer &capture(std::string terminator);
    // Waits without sending, or until the client closes.
    ScriptedPeer &silent(std::chrono::milliseconds duration);
    // Closes the connection at this point of the script.
    ScriptedPeer &close();
    // The steps after this apply to the next accepted connection.
    ScriptedPeer &nextConnection();

    // Starts serving the script.
    void start();
    // Waits until every connection's script has run (or the timeout passes); true when done.
    bool waitDone(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the client has closed every scripted connection, so received() is complete.
    bool waitClosed(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // Everything received, per connection, as received.
    std::vector<std::string> received() const;
    std::vector<std::string> capturedBlocks() const;
    // Script mismatches; empty when the client behaved as scripted.
    std::vector<std::string> failures() const;
    int connectionsAccepted() const { return accepted_.load(); }

    // A standard greeting, "alt.binaries.sounds.mp3" selection and overview format: what
    // mp3Settings needs from a working server (two connections: a probe and a session).
    ScriptedPeer &scriptServerCheck(const std::string &greeting = "200 news.example ready\r\n");
    static std::string usualOverviewFormat();

private:
    struct Step {
        enum Kind { Send, Expect, Capture, Silent, Close } kind;
        std::string text;
        std::chrono::milliseconds duration{0};
    };
    void serve();
    void runConnection(int fd, const std::vector<Step> &steps, std::size_t index);
    bool readUntil(int fd, std::string &pending, const std::string &marker, std::string &out, std::size_t index);
    void fail(std::string message);

    int listenFd_ = -1;
    int port_ = 0;
    std::vector<std::vector<Step>> scripts_{1};
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::condition_variable doneCv_;
    bool done_ = false;
    bool closed_ = false;
    std::vector<std::string> received_;
    std::vector<std::string> captured_;
    std::vector<std::string> failures_;
};

// A port on 127.0.0.1 on which nothing listens.
int unusedLoopbackPort();

// Connects the engine's transport to a started peer (a failure fails the test); the test owns the
// connection and closes it with netClose.
int connectTo(const ScriptedPeer &peer);

}  // namespace harbeat::test
