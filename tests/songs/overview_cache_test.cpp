// The overview cache folder: which numbers a search reads, files written whole or not at all,
// files of other servers or versions ignored, and the size limit.
#include "songs/overview_cache.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>

using namespace corvane;
namespace fs = std::filesystem;

namespace {

struct PlanCase {
    const char *name;
    int64_t first, last;
    bool haveFile;
    int64_t cachedFirst, cachedLast;
    bool useCache;
    int64_t lowFirst, lowLast, highFirst, highLast;
    int64_t toRead;
};

class PlanOverviewRead : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanOverviewRead, ReadsOnlyWhatTheFileLacks) {
    const PlanCase &c = GetParam();
    OverviewCacheHeader header;
    header.first = c.cachedFirst;
    header.last = c.cachedLast;
    const OverviewReadPlan plan = planOverviewRead(c.first, c.last, c.haveFile ? &header : nullptr);
    EXPECT_EQ(plan.useCache, c.useCache);
    EXPECT_EQ(plan.articlesToRead(), c.toRead);
    if (c.lowFirst <= c.lowLast) {
        EXPECT_EQ(plan.lowFirst, c.lowFirst);
        EXPECT_EQ(plan.lowLast, c.lowLast);
    } else {
        EXPECT_GT(plan.lowFirst, plan.lowLast);
    }
    if (c.highFirst <= c.highLast) {
        EXPECT_EQ(plan.highFirst, c.highFirst);
        EXPECT_EQ(plan.highLast, c.highLast);
    } else {
        EXPECT_GT(plan.highFirst, plan.highLast);
    }
}

INSTANTIATE_TEST_SUITE_P(Ranges, PlanOverviewRead,
                         ::testing::Values(PlanCase{"NoFile", 10, 20, false, 0, 0, false, 1, 0, 10, 20, 11},
                                           PlanCase{"NewArticlesAbove", 10, 20, true, 10, 15, true, 1, 0, 16, 20, 5},
                                           PlanCase{"SomeExpired", 12, 20, true, 10, 15, true, 1, 0, 16, 20, 5},
                                           PlanCase{"NothingNew", 10, 20, true, 10, 20, true, 1, 0, 1, 0, 0},
                                           PlanCase{"DeeperThanTheFile", 5, 20, true, 10, 15, true, 5, 9, 16, 20, 10},
                                           PlanCase{"Renumbered", 10, 14, true, 10, 15, false, 1, 0, 10, 14, 5},
                                           PlanCase{"EverythingCachedExpired", 30, 40, true, 10, 15, false, 1, 0, 30,
                                                    40, 11},
                                           PlanCase{"EmptyGroup", 21, 20, true, 10, 15, false, 1, 0, 1, 0, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

class OverviewCacheFolder : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("overview-cache-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
    }
    void TearDown() override {
        setOverviewCacheLimitForTests(0);
        fs::remove_all(folder);
    }

    // Parts of songs numbered first, first + 2, ..., one name per two articles.
    static void fill(PartsTable &parts, int64_t first, int count) {
        for (int i = 0; i < count; ++i) {
            const std::string name = "Song " + std::to_string(i / 2) + ".mp3 ";
            const std::string id = "<" + std::to_string(first + 2 * i) + "@x>";
            OverviewEntry entry{name, id, "Fri, 01 Mar 2024", i % 2, 2, first + 2 * i};
            parts.add(entry);
        }
    }

    OverviewCache cache(const std::string &server = "news.example", int32_t port = 119, bool tls = false) const {
        return OverviewCache(folder.string(), server, port, tls);
    }

    fs::path folder;
};

TEST_F(OverviewCacheFolder, KeepsAGroupForItsServerOnly) {
    PartsTable parts;
    fill(parts, 100, 10);
    std::string problem;
    ASSERT_TRUE(cache().store("alt.binaries.sounds.mp3", 100, 130, parts, problem)) << problem;

    CachedGroup cached;
    ASSERT_TRUE(cache().load("alt.binaries.sounds.mp3", cached));
    EXPECT_EQ(cached.header.first, 100);
    EXPECT_EQ(cached.header.last, 130);
    ASSERT_EQ(cached.articles().size(), 10u);
    EXPECT_EQ(cached.articles()[9].number, 118);
    EXPECT_EQ(cached.articles()[9].messageId, "<118@x>");
    OverviewCacheHeader header;
    EXPECT_TRUE(cache().peek("alt.binaries.sounds.mp3", header));

    // Another server, port, transport or group has no file; a file copied over from another
    // server is foreign and ignored.
    EXPECT_FALSE(cache("other.example").load("alt.binaries.sounds.mp3", cached));
    EXPECT_FALSE(cache("news.example", 563).load("alt.binaries.sounds.mp3", cached));
    EXPECT_FALSE(cache("news.example", 119, true).peek("alt.binaries.sounds.mp3", header));
    EXPECT_FALSE(cache().load("alt.binaries.sounds.mp3.jazz", cached));
    fs::copy_file(cache().pathOf("alt.binaries.sounds.mp3"), cache("other.example").pathOf("alt.binaries.sounds.mp3"));
    EXPECT_FALSE(cache("other.example").load("alt.binaries.sounds.mp3", cached));
    EXPECT_FALSE(cache("other.example").peek("alt.binaries.sounds.mp3", header));
}

TEST_F(OverviewCacheFolder, DamagedFileIsIgnored) {
    PartsTable parts;
    fill(parts, 100, 10);
    std::string problem;
    ASSERT_TRUE(cache().store("g", 100, 130, parts, problem));
    const std::string path = cache().pathOf("g");
    fs::resize_file(path, fs::file_size(path) - 3);
    CachedGroup cached;
    EXPECT_FALSE(cache().load("g", cached));
    EXPECT_TRUE(cached.articles().empty());
}

TEST_F(OverviewCacheFolder, PartsWithoutNumbersOrOutOfOrderAreNotCached) {
    const struct {
        const char *why;
        std::vector<int64_t> numbers;
    } cases[] = {{"no article number", {100, 0, 104}}, {"out of order", {100, 104, 102}}, {"outside", {90, 100}}};
    for (const auto &c : cases) {
        PartsTable parts;
        for (int64_t number : c.numbers) parts.add(OverviewEntry{"n", "<m>", "d", 0, 1, number});
        std::string problem;
        EXPECT_FALSE(cache().store("g", 100, 130, parts, problem)) << c.why;
        EXPECT_TRUE(problem.empty()) << c.why;
        EXPECT_FALSE(fs::exists(cache().pathOf("g"))) << c.why;
    }
}

// A file over the limit keeps its newest articles, and the range it covers starts at the oldest
// one kept, so the next search reads the numbers below again.
TEST_F(OverviewCacheFolder, DropsTheOldestArticlesAboveTheLimit) {
    PartsTable parts;
    fill(parts, 100, 1000);
    setOverviewCacheLimitForTests(20000);
    std::string problem;
    ASSERT_TRUE(cache().store("g", 100, 2100, parts, problem)) << problem;
    EXPECT_LE(fs::file_size(cache().pathOf("g")), 20000u);
    CachedGroup cached;
    ASSERT_TRUE(cache().load("g", cached));
    ASSERT_GT(cached.articles().size(), 100u);
    ASSERT_LT(cached.articles().size(), 1000u);
    EXPECT_EQ(cached.articles().back().number, 100 + 2 * 999);
    EXPECT_EQ(cached.header.first, cached.articles().front().number);
    EXPECT_EQ(cached.header.last, 2100);
}

TEST_F(OverviewCacheFolder, RemovesTheLeastRecentlyWrittenFilesAboveTheLimit) {
    PartsTable parts;
    fill(parts, 100, 200);
    std::string problem;
    ASSERT_TRUE(cache().store("a", 100, 500, parts, problem));
    const uint64_t oneFile = fs::file_size(cache().pathOf("a"));
    fs::last_write_time(cache().pathOf("a"), fs::file_time_type::clock::now() - std::chrono::hours(2));
    ASSERT_TRUE(cache().store("b", 100, 500, parts, problem));
    fs::last_write_time(cache().pathOf("b"), fs::file_time_type::clock::now() - std::chrono::hours(1));
    setOverviewCacheLimitForTests(oneFile * 2 + oneFile / 2);
    ASSERT_TRUE(cache().store("c", 100, 500, parts, problem));
    EXPECT_FALSE(fs::exists(cache().pathOf("a")));
    EXPECT_TRUE(fs::exists(cache().pathOf("b")));
    EXPECT_TRUE(fs::exists(cache().pathOf("c")));
}

TEST_F(OverviewCacheFolder, FolderThatCannotBeWrittenIsAProblem) {
    fs::create_directories(folder);
    std::ofstream(folder / "file") << "x";
    OverviewCache blocked((folder / "file" / "overview").string(), "news.example", 119, false);
    PartsTable parts;
    fill(parts, 100, 10);
    std::string problem;
    EXPECT_FALSE(blocked.store("g", 100, 130, parts, problem));
    EXPECT_NE(problem.find("Overview cache not saved in "), std::string::npos) << problem;
    EXPECT_TRUE(blocked.firstProblem());
    EXPECT_FALSE(blocked.firstProblem());
}

TEST_F(OverviewCacheFolder, AppendsTheNewArticlesAsASegment) {
    PartsTable parts;
    fill(parts, 100, 10);
    std::string problem;
    ASSERT_TRUE(cache().store("g", 100, 130, parts, problem));
    CachedGroup cached;
    ASSERT_TRUE(cache().load("g", cached));
    const std::size_t from = parts.parts().size();
    parts.add(OverviewEntry{"New.mp3 ", "<new@x>", "d", 0, 1, 140});
    ASSERT_TRUE(cache().append("g", cached, 150, parts, from, problem)) << problem;

    CachedGroup again;
    ASSERT_TRUE(cache().load("g", again));
    EXPECT_EQ(again.header.segments, 2u);
    EXPECT_EQ(again.header.last, 150);
    ASSERT_EQ(again.articles().size(), 11u);
    EXPECT_EQ(again.articles().back().messageId, "<new@x>");
    // The file read before is no longer the file there: no append onto it.
    EXPECT_FALSE(cache().append("g", cached, 160, parts, from, problem));
    EXPECT_TRUE(problem.empty());
}

// A disk that fills while the file is written (a file size limit stands in for it) leaves the
// old file as it was, and no temporary file behind.
TEST_F(OverviewCacheFolder, FullDiskKeepsTheOldFile) {
    PartsTable small;
    fill(small, 100, 10);
    std::string problem;
    ASSERT_TRUE(cache().store("g", 100, 130, small, problem));
    const std::string before = [&] {
        std::ifstream in(cache().pathOf("g"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();

    PartsTable large;
    fill(large, 100, 200000);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const bool stored = cache().store("g", 100, 500000, large, problem);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(stored);
    EXPECT_NE(problem.find("File too large"), std::string::npos) << problem;
    std::ifstream in(cache().pathOf("g"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
    int files = 0;
    for ([[maybe_unused]] const auto &entry : fs::directory_iterator(folder)) ++files;
    EXPECT_EQ(files, 1);

    // The same for an append: the file is cut back to what it was.
    CachedGroup cached;
    ASSERT_TRUE(cache().load("g", cached));
    PartsTable more;
    fill(more, 100, 10);
    const std::size_t from = more.parts().size();
    for (int i = 0; i < 100000; ++i)
        more.add(OverviewEntry{"Song.mp3 ", "<" + std::to_string(i) + "@some.long.host.example>", "d", 0, 1, 1000 + i});
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    std::signal(SIGXFSZ, SIG_IGN);
    const bool appended = cache().append("g", cached, 200000, more, from, problem);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(appended);
    EXPECT_NE(problem.find("File too large"), std::string::npos) << problem;
    std::ifstream after(cache().pathOf("g"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(after), {}), before);
}

// What else may lie in the folder: a FIFO or a link where a cache file belongs is neither waited
// on nor followed, and eviction removes the cache's own files only, never a user's file of a
// similar name nor a temporary file that another search may be writing.
TEST_F(OverviewCacheFolder, StrangeEntriesAreNeitherOpenedNorRemoved) {
    PartsTable parts;
    fill(parts, 100, 10);
    std::string problem;
    ASSERT_TRUE(cache().store("real", 100, 130, parts, problem)) << problem;
    const fs::path fifo = cache().pathOf("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reading = std::async(std::launch::async, [this] {
        OverviewCacheHeader header;
        CachedGroup cached;
        return cache().peek("fifo", header) || cache().load("fifo", cached);
    });
    if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the cache waits on a FIFO";
        ::close(::open(fifo.c_str(), O_WRONLY));
    }
    EXPECT_FALSE(reading.get());

    // A link to a good file of the same key is not followed, and a store replaces the link only.
    const fs::path elsewhere = folder / "elsewhere";
    fs::copy_file(cache().pathOf("real"), elsewhere);
    fs::remove(cache().pathOf("real"));
    fs::create_symlink(elsewhere, cache().pathOf("real"));
    CachedGroup cached;
    EXPECT_FALSE(cache().load("real", cached));
    const auto targetSize = fs::file_size(elsewhere);
    PartsTable more;
    fill(more, 100, 12);
    ASSERT_TRUE(cache().store("real", 100, 140, more, problem)) << problem;
    EXPECT_FALSE(fs::is_symlink(cache().pathOf("real")));
    EXPECT_EQ(fs::file_size(elsewhere), targetSize);

    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(3);
    const fs::path userFile = folder / "holiday.ovc.tar";
    const fs::path young = fs::path(cache().pathOf("young") + ".tmp-abcdef");
    const fs::path abandoned = fs::path(cache().pathOf("abandoned") + ".tmp-ghijkl");
    for (const fs::path &path : {userFile, young, abandoned}) std::ofstream(path) << std::string(100000, 'x');
    fs::last_write_time(userFile, old);
    fs::last_write_time(abandoned, old);
    // Room for the cache files, not for the abandoned temporary file.
    setOverviewCacheLimitForTests(3 * fs::file_size(cache().pathOf("real")) + 4096);
    ASSERT_TRUE(cache().store("last", 100, 130, parts, problem)) << problem;
    EXPECT_TRUE(fs::exists(userFile));
    EXPECT_TRUE(fs::exists(young));
    EXPECT_TRUE(fs::exists(elsewhere));
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_TRUE(fs::exists(cache().pathOf("real")));
}

// While another search has the file mapped, nothing is added onto it (a failed addition would be
// cut off under that search's feet); the caller then writes the file anew instead.
TEST_F(OverviewCacheFolder, NoAppendWhileAnotherSearchMapsTheFile) {
    PartsTable parts;
    fill(parts, 100, 10);
    std::string problem;
    ASSERT_TRUE(cache().store("g", 100, 130, parts, problem));
    CachedGroup mine, theirs;
    ASSERT_TRUE(cache().load("g", mine));
    ASSERT_TRUE(cache().load("g", theirs));
    const std::size_t from = parts.parts().size();
    parts.add(OverviewEntry{"New.mp3 ", "<new@x>", "d", 0, 1, 140});
    EXPECT_FALSE(cache().append("g", mine, 150, parts, from, problem));
    EXPECT_TRUE(problem.empty()) << problem;
    theirs.release();
    EXPECT_TRUE(cache().append("g", mine, 150, parts, from, problem)) << problem;
}

}  // namespace
