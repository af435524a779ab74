// Every operation over TLS against the bundled server, switched on through the option export:
// server check, newsgroup list, search, download and post; and a refused certificate reaching
// the caller of mp3Settings as its error text.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>

#include "core/engine_options.h"
#include "core/engine_settings.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "newsd/news_server.h"
#include "support/test_certificates.h"
#include "support/test_environment.h"

using namespace harbeat::test;
using namespace std::chrono_literals;

namespace {

constexpr const char *kGroup = "alt.binaries.sounds.mp3";
constexpr const char *kSongs = "alt.binaries.sounds.mp3.tls";

std::vector<std::string> textsOf(const std::vector<Report> &reports, int32_t code) {
    std::vector<std::string> texts;
    for (const Report &r : reports)
        if (r.code == code) texts.push_back(r.text);
    return texts;
}

std::vector<std::string> fieldsOf(const std::string &line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

class TlsFlows : public ::testing::Test {
protected:
    void SetUp() override {
        corvane::resetEngineOptionsForTests();
        ASSERT_EQ(mp3SetOption("tls", "1"), -1);
        ASSERT_EQ(mp3SetOption("tls-ca-file", certificates.caFile().c_str()), -1);
        ReportRecorder::clear();
        corvane::setCancelRequested(false);
    }
    void TearDown() override {
        corvane::storeStatusCallback(nullptr);
        corvane::resetEngineOptionsForTests();
    }

    std::unique_ptr<harbeat::newsd::NewsServer> startServer(const CertificateFiles &files) {
        harbeat::newsd::ServerOptions options;
        options.tlsCertificateFile = files.certificate;
        options.tlsKeyFile = files.key;
        auto server = std::make_unique<harbeat::newsd::NewsServer>(store, options);
        server->start(0);
        return server;
    }

    int32_t check(int port, std::string &error) {
        char buffer[256] = {};
        int32_t reachable = 0, posting = 0;
        const int32_t result =
            mp3Settings(buffer, ReportRecorder::callback(), "127.0.0.1", port, "", "", 0, &reachable, &posting, 0);
        error = buffer;
        return result;
    }

    TestCertificates certificates;
    TemporaryHome home;
    harbeat::newsd::NewsStore store;
};

TEST_F(TlsFlows, EveryOperationWorksOverTls) {
    store.addGroup(kGroup, 0, true);
    harbeat::newsd::SyntheticGroupOptions songs;
    songs.partsPerSong = 2;
    store.addSyntheticGroup(kSongs, 6, 1, songs);
    const auto server = startServer(certificates.trusted());
    std::string error;
    ASSERT_EQ(check(server->port(), error), -1) << error;

    ASSERT_NE(mp3GetNewsgroups("alt.binaries.sounds", "~"), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyGroupList}, 20s));
    const std::vector<std::string> lists = textsOf(ReportRecorder::reports(), kNotifyGroupList);
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_NE(lists[0].find(std::string(kSongs) + "\r\n"), std::string::npos) << lists[0];

    ReportRecorder::clear();
    ASSERT_NE(mp3GetSongs((std::string(kSongs) + "\trock\r\n").c_str()), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifySearchDone}, 20s));
    const std::vector<Report> found = ReportRecorder::reports();
    EXPECT_TRUE(textsOf(found, kNotifyError).empty());
    const std::vector<std::string> lines = textsOf(found, kNotifySong);
    ASSERT_EQ(lines.size(), 3u);

    // The first song found, downloaded and compared with what the server carries.
    const std::vector<std::string> fields = fieldsOf(lines[0]);
    ASSERT_EQ(fields.size(), 7u) << lines[0];
    ReportRecorder::clear();
    const std::filesystem::path folder = home.path() / "songs";
    const std::string request = fields[4] + "\t" + fields[5] + "\t" + fields[6];
    ASSERT_NE(mp3BuildSongs(folder.c_str(), "", request.c_str(), 0), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyDownloadDone}, 20s));
    const std::vector<std::string> written = textsOf(ReportRecorder::reports(), kNotifyFileWritten);
    ASSERT_EQ(written.size(), 1u) << textsOf(ReportRecorder::reports(), kNotifyError).size();
    const std::string file = readFile(written[0]);
    bool carried = false;
    for (std::uint64_t song = 0; song < 3; ++song) carried |= file == store.syntheticSongFile(kSongs, song);
    EXPECT_TRUE(carried) << file.size();

    char postError[256] = {};
    ASSERT_EQ(mp3PostAritcle(postError, "me@example.org", kGroup, "Looking for a song", "Anyone?\r\n"), -1)
        << postError;
    ASSERT_EQ(store.postedArticles().size(), 1u);
    EXPECT_NE(store.postedArticles()[0].find("Subject: Looking for a song\r\n"), std::string::npos);
}

TEST_F(TlsFlows, RefusedCertificateIsTheServerCheckError) {
    store.addGroup(kGroup, 0, true);
    const auto server = startServer(certificates.otherHost());
    std::string error;
    EXPECT_EQ(check(server->port(), error), 0);
    EXPECT_EQ(error, "Certificate is for another host (news.example.net).");
}

std::atomic<bool> stopSent{false};

// Presses Stop at the first progress report of the overview, when many replies are on the way.
void CORVANE_CALL stoppingCallback(int32_t code, const char16_t *text) {
    if (code == kNotifyProgress && !stopSent.exchange(true)) mp3CancelFunc();
    ReportRecorder::callback()(code, text);
}

// A Stop in the middle of a pipelined read leaves replies on the way; none of them may reach the
// next operation, whose connection may well get the same descriptor number. Over TLS and over
// plain TCP, every search after a Stop is complete.
TEST_F(TlsFlows, EverySearchAfterAStopIsComplete) {
    store.addGroup(kGroup, 0, true);
    harbeat::newsd::SyntheticGroupOptions songs;
    songs.partsPerSong = 2;
    store.addSyntheticGroup(kSongs, 6, 1, songs);
    store.addSyntheticGroup("alt.binaries.sounds.mp3.big", 200000, 1, songs);
    const auto tlsServer = startServer(certificates.trusted());
    harbeat::newsd::NewsServer plainServer(store, {});
    plainServer.start(0);
    for (const bool overTls : {true, false}) {
        SCOPED_TRACE(overTls ? "tls" : "plain");
        ASSERT_EQ(mp3SetOption("tls", overTls ? "1" : "0"), -1);
        std::string error;
        ASSERT_EQ(check(overTls ? tlsServer->port() : plainServer.port(), error), -1) << error;
        for (int round = 0; round < 3; ++round) {
            ReportRecorder::clear();
            stopSent = false;
            corvane::storeStatusCallback(&stoppingCallback);
            ASSERT_NE(mp3GetSongs("alt.binaries.sounds.mp3.big\tbig\r\n"), -1);
            ASSERT_TRUE(ReportRecorder::waitFor({kNotifyError}, 20s));
            EXPECT_EQ(textsOf(ReportRecorder::reports(), kNotifyError).back(), "Operation cancelled by user.");

            ReportRecorder::clear();
            corvane::storeStatusCallback(ReportRecorder::callback());
            ASSERT_NE(mp3GetSongs((std::string(kSongs) + "\trock\r\n").c_str()), -1);
            ASSERT_TRUE(ReportRecorder::waitFor({kNotifySearchDone, kNotifyError}, 20s));
            EXPECT_EQ(textsOf(ReportRecorder::reports(), kNotifyError), std::vector<std::string>{});
            EXPECT_EQ(textsOf(ReportRecorder::reports(), kNotifySong).size(), 3u);
        }
    }
}

}  // namespace

namespace {

// A search and a save over eight TLS connections: their handshakes run side by side, and the
// reports are those of one connection.
TEST_F(TlsFlows, ManyConnectionsGiveTheReportsOfOne) {
    store.addGroup(kGroup, 0, true);
    harbeat::newsd::SyntheticGroupOptions songs;
    songs.partsPerSong = 4;
    store.addSyntheticGroup(kSongs, 40000, 1, songs);
    const auto server = startServer(certificates.trusted());
    std::string error;
    ASSERT_EQ(check(server->port(), error), -1) << error;
    std::vector<std::vector<Report>> runs;
    std::vector<std::size_t> accepted;
    for (const char *connections : {"1", "8"}) {
        ASSERT_EQ(mp3SetOption("connections", connections), -1);
        const std::size_t before = server->connectionsAccepted();
        ReportRecorder::clear();
        ASSERT_NE(mp3GetSongs((std::string(kSongs) + "\trock\r\n").c_str()), -1);
        ASSERT_TRUE(ReportRecorder::waitFor({kNotifySearchDone}, 60s));
        std::vector<Report> reports = ReportRecorder::reports();
        // The first twelve songs saved.
        std::string request;
        for (const std::string &line : textsOf(reports, kNotifySong)) {
            const std::vector<std::string> fields = fieldsOf(line);
            if (fields.size() == 7 && request.size() < 12 * 200) request += fields[4] + "\t" + fields[5] + "\t" + fields[6];
        }
        ReportRecorder::clear();
        const std::filesystem::path folder = home.path() / ("songs" + std::string(connections));
        ASSERT_NE(mp3BuildSongs(folder.c_str(), "", request.c_str(), 0), -1);
        ASSERT_TRUE(ReportRecorder::waitFor({kNotifyDownloadDone}, 60s));
        for (Report &report : ReportRecorder::reports()) {
            // The paths differ by their folder only.
            if (report.code == kNotifyFileWritten) report.text = std::filesystem::path(report.text).filename();
            reports.push_back(report);
        }
        runs.push_back(std::move(reports));
        accepted.push_back(server->connectionsAccepted() - before);
    }
    EXPECT_TRUE(textsOf(runs[0], kNotifyError).empty());
    EXPECT_FALSE(textsOf(runs[0], kNotifyFileWritten).empty());
    EXPECT_EQ(runs[1], runs[0]);
    EXPECT_EQ(accepted[0], 2u);  // one for the search, one for the save
    EXPECT_GT(accepted[1], 4u);
}

}  // namespace
