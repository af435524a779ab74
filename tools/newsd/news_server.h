// harbeat-newsd: a small NNTP server (RFC 3977 reader commands) on 127.0.0.1 over an in-memory
// article store. Integration tests, benchmarks and the demo run the engine against it.
//
//   harbeat::newsd::NewsStore store;
//   store.addGroup("alt.binaries.sounds.mp3", 0, true);
//   store.addArticle("Newsgroups: alt.binaries.sounds.mp3\r\nFrom: a@b\r\nSubject: x\r\n\r\nbody\r\n");
//   store.addSyntheticGroup("alt.binaries.sounds.mp3.big", 1000000);
//   harbeat::newsd::NewsServer server(store);
//   server.start();            // any free port on 127.0.0.1
//   int port = server.port();
//
// The store may be changed while the server runs; every call is thread-safe.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace harbeat::newsd {

// How a synthetic group of multi-part song posts is generated. Every article is computed from
// its number, so the group costs almost no memory whatever its size.
struct SyntheticGroupOptions {
    // Parts of every song post: the article at offset i from the first number is part
    // i % partsPerSong + 1 of song i / partsPerSong. A count that is not a multiple leaves the
    // last song incomplete.
    int partsPerSong = 5;
    // Every n-th song (n > 0) lacks its second part (or its only part): that number is a gap in
    // the group, as an expired article would be. 0 leaves every song complete.
    std::uint64_t incompleteEvery = 0;
    // Varies names, posters and payload; groups with different names differ anyway.
    std::uint64_t seed = 1;
    // Date header of the first article (Unix time, UTC); each later article is 7 s younger.
    std::int64_t firstPostTime = 1709251200;  // Fri, 01 Mar 2024 00:00:00 +0000
    // Body: each part holds this many full uuencoded lines (45 bytes each); the last part adds a
    // short line of tailBytes (0-44) bytes. 14 bytes give a last line that starts with ".".
    int linesPerPart = 40;
    int tailBytes = 14;
    // Every n-th song (n > 0; songs 0, n, 2n, ...) is posted yEnc-encoded instead, as posters do
    // today: subject "\"name.mp3\" yEnc (k/m)", each part a =ybegin/=ypart/=yend block of lines of
    // 128 characters carrying the same bytes the uuencoded lines would. 0: all uuencoded.
    std::uint64_t yencEvery = 0;
    // Creation time of the group (for NEWGROUPS) and its posting flag in LIST ACTIVE.
    std::int64_t createdUnixTime = 0;
};

// A group as LIST ACTIVE and GROUP show it.
struct GroupInfo {
    std::string name;
    std::uint64_t count = 0;  // articles present
    std::uint64_t low = 1;    // lowest present number (high + 1 when empty)
    std::uint64_t high = 0;   // highest number ever assigned (first number - 1 when never used)
    bool postingAllowed = true;
    std::int64_t createdUnixTime = 0;
    std::string description;
    bool synthetic = false;
};

// What loadSpool did: articles stored, and one line for every file or group line it skipped.
struct SpoolLoadResult {
    std::size_t groupsAdded = 0;
    std::size_t articlesLoaded = 0;
    std::vector<std::string> problems;
};

// Thread-safe in-memory article store shared by all connections of one or more servers.
class NewsStore {
public:
    // hostName appears in the Xref overview field ("Xref: <hostName> group:number").
    explicit NewsStore(std::string hostName = "harbeat-newsd");
    ~NewsStore();
    NewsStore(const NewsStore &) = delete;
    NewsStore &operator=(const NewsStore &) = delete;

    // Adds an empty group whose first article gets firstArticleNumber. Adding an existing group
    // changes nothing and returns false. Throws std::invalid_argument for an invalid name (empty,
    // or holding blanks, control characters, "*", "?", "[", "]", "!" or ",").
    bool addGroup(const std::string &name, std::int64_t createdUnixTime, bool postingAllowed,
                  std::uint64_t firstArticleNumber = 1, std::string description = {});

    // Stores an article: header lines, an empty line, the body; CR LF line ends (a bare LF is
    // taken as CR LF), not dot-stuffed. The Newsgroups header names the groups; groups that do
    // not exist yet are created (created at time 0, posting allowed). Each group gives the
    // article its next number. A missing Message-ID header is generated and added at the end of
    // the header. Returns the message-id. Throws std::invalid_argument when the text has no
    // empty line after its header, a malformed header line, no Newsgroups header, a malformed
    // or already stored message-id, or names a synthetic group.
    std::string addArticle(std::string rawArticle);

    // Removes an article (stored or synthetic) from every group: ARTICLE then answers 430 (by
    // message-id) or 423 (by number), and overview replies skip its number. False when unknown.
    bool expireArticle(const std::string &messageId);

    // Adds a group of articleCount generated song posts numbered from firstNumber. The group
    // is read-only (posting flag "n"). Returns false when the name is taken.
    bool addSyntheticGroup(const std::string &name, std::uint64_t articleCount, std::uint64_t firstNumber = 1,
                           SyntheticGroupOptions options = {});
    // The song file (the decoded payload of all its parts) that synthetic song songIndex of that
    // group carries; empty when there is no such group.
    std::string syntheticSongFile(const std::string &groupName, std::uint64_t songIndex) const;

    // Adds count empty groups with generated, unique names of about 25 characters (such as
    // "rec.music.jazz.live.3"), creation times spread from 1995 to 2024 and posting allowed, for
    // volume tests of LIST and NEWGROUPS; names already taken are passed over. Returns the number
    // of groups added (count).
    std::size_t addSyntheticGroupList(std::size_t count);

    // Loads a spool folder (format in tools/newsd/README.md): an optional file named "groups"
    // and every other regular file below the folder as one article, in path order. Throws
    // std::runtime_error when the folder cannot be read.
    SpoolLoadResult loadSpool(const std::filesystem::path &folder);

    // The article text as stored (header, empty line, body; not dot-stuffed).
    std::optional<std::string> articleByMessageId(const std::string &messageId) const;
    // Every article received by POST, in arrival order, as stored.
    std::vector<std::string> postedArticles() const;
    std::optional<GroupInfo> group(const std::string &name) const;
    std::size_t groupCount() const;

    // For the server: the store's internals, opaque outside tools/newsd.
    struct Impl;
    Impl &impl() const { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// Makes one command misbehave, to test how a client copes with a slow or hung server.
struct CommandRule {
    enum class Action {
        Delay,    // wait `delay`, then answer normally
        Silence,  // never answer this command or any later one on that connection
        Close,    // close the connection instead of answering
    };
    std::string command;   // the command word, any case ("XOVER", "GROUP", "LIST", ...)
    std::string argument;  // when not empty: only commands whose argument text equals it exactly
    Action action = Action::Delay;
    std::chrono::milliseconds delay{0};
    int skip = 0;  // matching commands on each connection answered normally before the rule applies
    // Applies to one command only: the first one, on any connection, that the rule would take.
    // Copies of the rule share that one use.
    bool once = false;
    std::shared_ptr<std::atomic<bool>> used = std::make_shared<std::atomic<bool>>(false);
};

struct ServerOptions {
    // Greeting: code 0 means 200, or 201 when posting is not allowed. A 400 or 502 greeting is
    // followed by closing the connection (a busy or refusing server). Empty text: a default.
    int greetingCode = 0;
    std::string greetingText;
    // Host name shown in the greeting and in the DATE / HELP texts.
    std::string hostName = "harbeat-newsd";
    // false: greeting 201, MODE READER 201, POST 440.
    bool postingAllowed = true;
    // Login required when user is not empty: until AUTHINFO succeeds, every command other than
    // AUTHINFO, QUIT, MODE READER and CAPABILITIES gets 480. Without a configured user, any
    // AUTHINFO USER/PASS pair is accepted.
    std::string user;
    std::string password;
    // Reply to a wrong user or password: 481 (usual) or 502.
    int wrongLoginCode = 481;
    // Reply to XOVER / OVER of a range without articles: 224 with no lines (as INN does),
    // or 420 / 423 (single line).
    int emptyOverviewCode = 224;
    std::vector<CommandRule> rules;
    // Connections beyond this many at once are refused, the way `refusal` says.
    std::size_t maxConnections = 256;
    enum class Refusal {
        Greeting400,  // "400 too many connections", then closed
        Greeting502,  // "502 too many connections", then closed
        Login481,     // greeted as usual; the first AUTHINFO gets 481, then closed
        Login482,     // the same with 482
        Login502,     // the same with 502
        Close,        // closed without a word
    };
    Refusal refusal = Refusal::Greeting400;
    // Every n-th connection accepted (n > 0) is closed at once, whatever the limit; 0: none.
    std::size_t dropEvery = 0;
    // Each connection's replies leave at no more than this many megabits per second, as a
    // provider caps each connection; 0: as fast as they can.
    double connectionRateMbit = 0;
    // A POSTed article above this size is refused with 441 (after reading it to its end).
    std::size_t maxPostBytes = std::size_t(64) << 20;
    // Writes one line per command (password hidden) and per connection to standard error.
    bool logCommands = false;
    // When both are set, every connection speaks TLS from its first byte (NNTPS), with this
    // certificate chain and private key (PEM files). A client that fails the handshake is
    // closed without a greeting.
    std::string tlsCertificateFile;
    std::string tlsKeyFile;
    // Simulated network distance: every reply leaves this long after its command arrived (the
    // greeting this long after the connection was accepted), not after the previous reply, so
    // pipelined commands overlap as they would over a real network. A round trip seen by the
    // client is this value, so a path of L ms one way is latency 2 L. 0: reply at once.
    std::chrono::milliseconds latency{0};
    // Compression offered, as the servers that have it do: Deflate lists "COMPRESS DEFLATE" in
    // CAPABILITIES and answers COMPRESS DEFLATE with 206, after which the session is one raw
    // DEFLATE stream both ways (RFC 8054); Gzip answers XFEATURE COMPRESS GZIP with 290, after
    // which overview and list replies carry "[COMPRESS=GZIP]" and a zlib stream of their lines.
    enum class Compression { None, Deflate, Gzip };
    Compression compression = Compression::None;
    // Articles this server does not have although its store does, as a provider that lost them:
    // ARTICLE, HEAD, BODY and STAT of these message-ids (with their angle brackets) or article
    // numbers (in any group) are answered 430.
    std::vector<std::string> droppedMessageIds;
    std::vector<std::uint64_t> droppedNumbers;
};

// Serves a NewsStore on 127.0.0.1, one thread per connection.
class NewsServer {
public:
    explicit NewsServer(NewsStore &store, ServerOptions options = {});
    ~NewsServer();  // stops
    NewsServer(const NewsServer &) = delete;
    NewsServer &operator=(const NewsServer &) = delete;

    // Listens on 127.0.0.1:port (0 = any free port) and starts accepting. Throws
    // std::system_error when the port cannot be bound, std::logic_error when already started,
    // std::runtime_error when the TLS certificate or key cannot be loaded.
    void start(std::uint16_t port = 0);
    std::uint16_t port() const;
    // Closes the listening socket and every connection and joins all threads. Idempotent.
    void stop();

    std::size_t connectionsAccepted() const;
    std::size_t activeConnections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace harbeat::newsd
