// Search, newsgroup list and download against the bundled server with each way of compressing:
// the reports and files are those of the uncompressed run, and the debug log holds clear text.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/debug_log.h"
#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "corvane_n.h"
#include "newsd/news_server.h"
#include "support/test_environment.h"

using namespace harbeat::test;
using Compression = harbeat::newsd::ServerOptions::Compression;
using namespace std::chrono_literals;

namespace {

constexpr const char *kSongGroup = "alt.binaries.sounds.mp3.big";
constexpr const char *kGappyGroup = "alt.binaries.sounds.mp3.gappy";

std::vector<Report> withoutProgress(const std::vector<Report> &reports) {
    std::vector<Report> kept;
    for (const Report &r : reports)
        if (r.code != 9004) kept.push_back(r);
    return kept;
}

std::string readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What one run of the three operations showed.
struct RunResult {
    std::vector<Report> search, list, download;
    std::map<std::string, std::string> files;  // name -> bytes
    std::string log;
};

class CompressedAgainstNewsServer : public ::testing::Test {
protected:
    void SetUp() override {
        store.addGroup("alt.binaries.sounds.mp3", 0, true);  // the server check selects it
        harbeat::newsd::SyntheticGroupOptions options;
        options.incompleteEvery = 10;
        options.yencEvery = 3;
        store.addSyntheticGroup(kSongGroup, 400, 1, options);
        harbeat::newsd::SyntheticGroupOptions singles;
        singles.partsPerSong = 1;
        singles.incompleteEvery = 3;  // gaps of one number, some where a batch begins or ends
        store.addSyntheticGroup(kGappyGroup, 120, 1000, singles);
        store.addSyntheticGroupList(3000);
        corvane::storeStatusCallback(ReportRecorder::callback());
    }
    void TearDown() override {
        corvane::resetEngineOptionsForTests();
        corvane::debugLogStop();
        corvane::storeStatusCallback(nullptr);
    }

    RunResult runAll(Compression offered, bool compress) {
        harbeat::newsd::ServerOptions serverOptions;
        serverOptions.emptyOverviewCode = 423;
        serverOptions.compression = offered;
        harbeat::newsd::NewsServer server(store, serverOptions);
        server.start(0);
        EXPECT_TRUE(corvane::setEngineOption("compress", compress ? "1" : "0"));
        RunResult run;
        char error[256] = {};
        int32_t reachable = 0, posting = 0;
        EXPECT_EQ(mp3Settings(error, ReportRecorder::callback(), "127.0.0.1", server.port(), "", "", 60, &reachable,
                              &posting, 0),
                  -1)
            << error;

        ReportRecorder::clear();
        const std::string request = std::string(kSongGroup) + "\trock\r\n" + kGappyGroup + "\tpop\r\n";
        EXPECT_NE(mp3GetSongs(request.c_str()), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({9003, 9001}, 30s));
        run.search = withoutProgress(ReportRecorder::reports());

        ReportRecorder::clear();
        EXPECT_NE(mp3GetNewsgroups("alt.binaries", "~"), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({9002, 9001}, 30s));
        run.list = withoutProgress(ReportRecorder::reports());

        // Every tenth found song is saved.
        std::string saves;
        int index = 0;
        for (const Report &r : run.search) {
            if (r.code != 9009 || index++ % 10 != 0) continue;
            std::size_t from = 0;
            for (int i = 0; i < 4; ++i) from = r.text.find('\t', from) + 1;
            saves += r.text.substr(from);
        }
        EXPECT_FALSE(saves.empty());
        const std::filesystem::path folder = home.path() / ("songs-" + std::to_string(runs++));
        ReportRecorder::clear();
        EXPECT_NE(mp3BuildSongs(folder.c_str(), "", saves.c_str(), 0), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({9007}, 30s));
        run.download = withoutProgress(ReportRecorder::reports());
        for (Report &r : run.download)  // the folder differs from run to run
            if (r.text.starts_with(folder.string())) r.text.erase(0, folder.string().size());
        std::error_code ignored;
        for (const auto &entry : std::filesystem::directory_iterator(folder, ignored))
            run.files[entry.path().filename().string()] = readFile(entry.path());

        run.log = readFile(corvane::debugLogPath());
        server.stop();
        return run;
    }

    TemporaryHome home;
    harbeat::newsd::NewsStore store;
    int runs = 0;
};

TEST_F(CompressedAgainstNewsServer, EachMethodGivesTheUncompressedReports) {
    const RunResult plain = runAll(Compression::None, false);
    ASSERT_EQ(plain.search.back(), (Report{9003, "DONE"}));
    ASSERT_EQ(plain.list.back().code, 9002);
    ASSERT_FALSE(plain.files.empty());
    EXPECT_EQ(plain.log.find("CAPABILITIES"), std::string::npos);

    struct Case {
        const char *name;
        Compression offered;
        bool compress;
        const char *logShows;  // what the debug log holds besides clear overview lines
    };
    const std::vector<Case> cases = {
        {"deflate", Compression::Deflate, true, "COMPRESS DEFLATE\r\n206 Compression active\r\n"},
        {"gzip", Compression::Gzip, true, "XFEATURE COMPRESS GZIP\r\n290 feature enabled\r\n"},
        // With the option off nothing new goes on the wire, whatever the server offers.
        {"deflate offered, option off", Compression::Deflate, false, ""},
        {"none offered, option on", Compression::None, true, "CAPABILITIES\r\n"},
    };
    for (const Case &c : cases) {
        const RunResult run = runAll(c.offered, c.compress);
        EXPECT_EQ(run.search, plain.search) << c.name;
        EXPECT_EQ(run.list, plain.list) << c.name;
        EXPECT_EQ(run.download, plain.download) << c.name;
        EXPECT_EQ(run.files, plain.files) << c.name;
        EXPECT_NE(run.log.find(c.logShows), std::string::npos) << c.name;
        if (!c.compress) {
            EXPECT_EQ(run.log.find("CAPABILITIES"), std::string::npos) << c.name;
        }
        // The log is clear text: overview lines as the reader saw them.
        EXPECT_NE(run.log.find("\t<"), std::string::npos) << c.name;
    }
}

}  // namespace
