// The overview cache against the bundled news server: a search that takes older articles from
// the cache reports exactly the songs, failures and end of a search that reads everything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/engine_options.h"
#include "newsd/news_server.h"
#include "search_test_support.h"
#include "songs/overview_cache.h"

using namespace harbeat::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

constexpr const char *kJazz = "alt.binaries.sounds.mp3.jazz";
constexpr const char *kRock = "alt.binaries.sounds.mp3.rock";
const std::string kRequest = std::string(kJazz) + "\tjazz\r\n" + kRock + "\trock\r\n";

std::string article(const std::string &group, const std::string &subject, const std::string &messageId) {
    return "Newsgroups: " + group + "\r\nFrom: poster@example.com\r\nSubject: " + subject +
           "\r\nDate: Fri, 01 Mar 2024 00:00:00 +0000\r\nMessage-ID: " + messageId + "\r\n\r\nbody\r\n";
}

bool isCacheNote(const Report &r) { return r.code == 9000 && r.text.find(" new articles") != std::string::npos; }

// Songs, failures, the unavailable list and the end; progress and the cache's own notes aside.
std::vector<Report> outcome(const std::vector<Report> &reports) {
    std::vector<Report> kept;
    for (const Report &r : withoutProgress(reports))
        if (!isCacheNote(r)) kept.push_back(r);
    return kept;
}

class SearchWithOverviewCache : public SongSearchTest {
protected:
    void SetUp() override {
        SongSearchTest::SetUp();
        folder = fs::temp_directory_path() / ("search-cache-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        // Three-part songs, posted one part after another.
        for (const char *group : {kJazz, kRock}) {
            store.addGroup(group, 0, true);
            for (int song = 0; song < 30; ++song) post(group, song, 3);
        }
        // A song whose later parts come only after the first search.
        post(kJazz, 99, 1);
        startServer({});
    }
    void TearDown() override {
        server->stop();
        corvane::resetEngineOptionsForTests();
        fs::remove_all(folder);
        SongSearchTest::TearDown();
    }

    // Parts firstPart to lastPart of a song of `parts` parts.
    void post(const char *group, int song, int lastPart, int firstPart = 1, int parts = 3) {
        for (int part = firstPart; part <= lastPart; ++part)
            store.addArticle(article(
                group,
                "Song " + std::to_string(song) + ".mp3 (" + std::to_string(part) + "/" + std::to_string(parts) + ")",
                "<" + std::to_string(song) + "." + std::to_string(part) + "@" + group + ">"));
    }
    void expire(const char *group, int song, int part) {
        ASSERT_TRUE(store.expireArticle("<" + std::to_string(song) + "." + std::to_string(part) + "@" + group + ">"));
    }
    // A restart keeps the port: the cache files belong to server and port.
    void startServer(harbeat::newsd::ServerOptions options, harbeat::newsd::NewsStore *from = nullptr) {
        uint16_t port = 0;
        if (server) {
            port = server->port();
            server->stop();
        }
        server = std::make_unique<harbeat::newsd::NewsServer>(from ? *from : store, options);
        server->start(port);
        useServer(server->port());
    }

    // One whole search with the cache in `cacheFolder` ("" for none); its reports.
    std::vector<Report> runSearch(const std::string &cacheFolder) {
        EXPECT_TRUE(corvane::setEngineOption("overview-cache", cacheFolder));
        ReportRecorder::clear();
        EXPECT_NE(mp3GetSongs(kRequest.c_str()), -1);
        const auto ended = [] {
            const std::vector<Report> reports = ReportRecorder::reports();
            return !reports.empty() && (reports.back().code == 9003 || reports.back() == Report{9001, "No Songs."});
        };
        for (int i = 0; i < 2000 && !ended(); ++i) std::this_thread::sleep_for(10ms);
        EXPECT_TRUE(ended());
        for (int i = 0; i < 100 && server->activeConnections() > 0; ++i) std::this_thread::sleep_for(10ms);
        return ReportRecorder::reports();
    }

    corvane::OverviewCache cache() const {
        return corvane::OverviewCache(folder.string(), "127.0.0.1", server->port(), false);
    }
    std::string fileOf(const char *group) const {
        std::ifstream in(cache().pathOf(group), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path folder;
    harbeat::newsd::NewsStore store;
    std::unique_ptr<harbeat::newsd::NewsServer> server;
};

TEST_F(SearchWithOverviewCache, CachedSearchReportsWhatAFullReadReports) {
    const std::vector<Report> first = runSearch(folder.string());
    EXPECT_EQ(textsOf(first, 9009).size(), 60u);
    EXPECT_EQ(textsOf(first, 9004).size(), 181u);
    EXPECT_EQ(std::count_if(first.begin(), first.end(), isCacheNote), 0);
    ASSERT_FALSE(fileOf(kJazz).empty());

    // New songs, a song whose later parts arrive only now, a new copy of a cached part; the
    // oldest articles expire (song 0 whole, and the first part of song 1).
    post(kJazz, 100, 2, 1, 2);
    post(kJazz, 101, 1);
    post(kRock, 50, 3);
    for (int part = 1; part <= 3; ++part) expire(kJazz, 0, part);
    expire(kJazz, 1, 1);
    post(kJazz, 99, 3, 2);

    const std::vector<Report> cached = runSearch(folder.string());
    const std::vector<Report> full = runSearch("");
    EXPECT_EQ(outcome(cached), outcome(full));
    EXPECT_EQ(textsOf(full, 9009).size(), 60u - 2u + 3u);
    // The new articles went onto the files as one more segment each.
    corvane::CachedGroup file;
    ASSERT_TRUE(cache().load(kJazz, file));
    EXPECT_EQ(file.header.segments, 2u);

    // Once a quarter of the cached articles expired, the file is written whole again.
    for (int song = 1; song < 12; ++song)
        for (int part = song == 1 ? 2 : 1; part <= 3; ++part) expire(kJazz, song, part);
    const std::vector<Report> compacted = runSearch(folder.string());
    EXPECT_EQ(outcome(compacted), outcome(runSearch("")));
    ASSERT_TRUE(cache().load(kJazz, file));
    EXPECT_EQ(file.header.segments, 1u);
    EXPECT_EQ(file.articles().size(), (30u - 12u) * 3u + 2u + 1u + 3u);

    // Only the new articles were read: one progress report per overview line.
    EXPECT_EQ(textsOf(cached, 9004).size(), 2u + 1u + 3u + 2u);
    EXPECT_EQ(textsOf(cached, 9000),
              (std::vector<std::string>{"Searching...", "Searching... DONE!", "Retrieving jazz songs...",
                                        "Retrieving jazz songs... 5 new articles", "Retrieving rock songs...",
                                        "Retrieving rock songs... 3 new articles"}));
}

TEST_F(SearchWithOverviewCache, DamagedOrForeignFilesAreRebuilt) {
    runSearch(folder.string());
    const std::string good = fileOf(kJazz);
    const struct {
        const char *why;
        std::string bytes;
    } cases[] = {
        {"truncated", good.substr(0, good.size() / 2)},
        {"another version", good.substr(0, 8) + std::string("\x07\0\0\0", 4) + good.substr(12)},
        {"garbage", std::string(300, '\xff')},
        {"empty", ""},
    };
    const std::vector<Report> full = runSearch("");
    for (const auto &c : cases) {
        std::ofstream(cache().pathOf(kJazz), std::ios::binary | std::ios::trunc) << c.bytes;
        const std::vector<Report> reports = runSearch(folder.string());
        EXPECT_EQ(outcome(reports), outcome(full)) << c.why;
        EXPECT_EQ(fileOf(kJazz), good) << c.why;
    }
}

// A deeper search than the one that wrote the file reads the articles below the cached range
// first, then takes the cached ones, then the new ones: the order a full read gives them.
TEST_F(SearchWithOverviewCache, DeeperSearchReadsBelowTheCachedRange) {
    ASSERT_TRUE(corvane::setEngineOption("search-depth", "40"));
    runSearch(folder.string());
    post(kJazz, 99, 3, 2);
    post(kJazz, 100, 3);
    ASSERT_TRUE(corvane::setEngineOption("search-depth", "0"));
    const std::vector<Report> cached = runSearch(folder.string());
    const std::vector<Report> full = runSearch("");
    EXPECT_EQ(outcome(cached), outcome(full));
    EXPECT_EQ(std::count_if(cached.begin(), cached.end(), isCacheNote), 2);
    EXPECT_EQ(textsOf(full, 9009).size(), 62u);
}

// The server renumbered the group: its last number fell below the cached range.
TEST_F(SearchWithOverviewCache, RenumberedGroupIsReadAgain) {
    runSearch(folder.string());
    harbeat::newsd::NewsStore renumbered;
    for (const char *group : {kJazz, kRock}) {
        renumbered.addGroup(group, 0, true);
        for (int part = 1; part <= 2; ++part)
            renumbered.addArticle(article(group, "Fresh.mp3 (" + std::to_string(part) + "/2)",
                                          "<f" + std::to_string(part) + "@" + group + ">"));
    }
    startServer({}, &renumbered);
    const std::vector<Report> reports = runSearch(folder.string());
    EXPECT_EQ(textsOf(reports, 9009).size(), 2u);
    EXPECT_EQ(std::count_if(reports.begin(), reports.end(), isCacheNote), 0);
    corvane::CachedGroup file;
    ASSERT_TRUE(cache().load(kJazz, file));
    EXPECT_EQ(file.header.last, 2);
    EXPECT_EQ(file.articles().size(), 2u);
}

TEST_F(SearchWithOverviewCache, FailedGroupLeavesItsFileAlone) {
    runSearch(folder.string());
    const std::string before = fileOf(kJazz);
    post(kJazz, 200, 1);
    harbeat::newsd::ServerOptions silent;
    silent.rules.push_back({"XOVER", "", harbeat::newsd::CommandRule::Action::Silence});
    startServer(silent);
    ShortReceiveWait shortWait;
    const std::vector<Report> reports = runSearch(folder.string());
    // The silence stays on the connection, so the rock group times out behind it.
    const std::vector<std::string> unavailable = textsOf(reports, 9008);
    ASSERT_EQ(unavailable.size(), 1u);
    EXPECT_TRUE(unavailable[0].starts_with(std::string(kJazz) + "\r\n")) << unavailable[0];
    EXPECT_EQ(fileOf(kJazz), before);
}

TEST_F(SearchWithOverviewCache, UnwritableFolderCostsOnlyTheCache) {
    fs::create_directories(folder);
    std::ofstream(folder / "not-a-folder") << "x";
    const std::vector<Report> reports = runSearch((folder / "not-a-folder" / "overview").string());
    const std::vector<Report> full = runSearch("");
    std::vector<std::string> notes;
    for (const std::string &text : textsOf(reports, 9000))
        if (text.starts_with("Overview cache not saved")) notes.push_back(text);
    EXPECT_EQ(notes.size(), 1u);
    std::vector<Report> rest;
    for (const Report &r : outcome(reports))
        if (!r.text.starts_with("Overview cache not saved")) rest.push_back(r);
    EXPECT_EQ(rest, outcome(full));
}

}  // namespace
