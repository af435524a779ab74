// A whole download against the bundled news server: the files written are byte for byte the
// files the real encoders were given.
#include "core/engine_options.h"
#include "download_session.h"
#include "newsd/news_server.h"

#include <atomic>
#include <memory>
#include <thread>

using namespace harbeat::test;

namespace {

class BundledServerDownload : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        store.addGroup(kGroup, 0, true);
        for (const char *name : {"uu_45014", "uu_59", "uu_1", "mime_45014", "mime_59", "uu_song3_article1",
                                 "uu_song3_article2", "uu_song3_article3", "uu_song2_article1", "uu_song2_article2"})
            store.addArticle(fixture(std::string(name) + ".article"));
        server.start(0);
        corvane::EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = server.port();
        corvane::storeEngineSettings(settings);
    }
    void TearDown() override {
        server.stop();
        DownloadTest::TearDown();
    }

    std::vector<Report> run(const std::string &request) {
        EXPECT_NE(mp3BuildSongs(folder.c_str(), "", request.c_str(), 0), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({kNotifyDownloadDone}, std::chrono::seconds(20)));
        return ReportRecorder::reports();
    }

    harbeat::newsd::NewsStore store;
    harbeat::newsd::NewsServer server{store};
};

}  // namespace

TEST_F(BundledServerDownload, SaveWritesByteIdenticalFiles) {
    const std::string request =
        requestLine({"<uu-45014@harbeat.test>"}) + requestLine({"<uu-59@harbeat.test>"}) +
        requestLine({"<uu-1@harbeat.test>"}) + requestLine({"<mime-45014@harbeat.test>"}) +
        requestLine({"<mime-59@harbeat.test>"}) +
        requestLine({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"}) +
        requestLine({"<song2-1@harbeat.test>", "<song2-2@harbeat.test>"});
    const std::vector<Report> reports = run(request);
    std::vector<std::string> written;
    for (const Report &report : reports) {
        EXPECT_NE(report.code, kNotifyError) << report.text;
        if (report.code == kNotifyFileWritten) written.push_back(report.text);
    }
    EXPECT_EQ(written, (std::vector<std::string>{pathOf("song_45014.mp3"), pathOf("song_59.mp3"), pathOf("song_1.mp3"),
                                                 pathOf("song_45014.mp3"), pathOf("song_59.mp3"), pathOf("song3.mp3"),
                                                 pathOf("song2.mp3")}));
    EXPECT_EQ(reports.back(), (Report{kNotifyDownloadDone, " "}));
    for (const char *size : {"45014", "59", "1"})
        EXPECT_EQ(readFile(pathOf(std::string("song_") + size + ".mp3")),
                  fixture(std::string("payload_") + size + ".bin"))
            << size;
    EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin"));
    EXPECT_EQ(readFile(pathOf("song2.mp3")), fixture("payload_song2.bin"));
}

// The "article" commands of a song go out together: the reports and files are those of one
// command at a time, also when a part in the middle has expired.
TEST_F(BundledServerDownload, PipelinedArticlesGiveTheSameReportsAndFiles) {
    store.expireArticle("<song2-1@harbeat.test>");
    std::string request =
        requestLine({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"}) +
        requestLine({"<uu-45014@harbeat.test>", "<song2-1@harbeat.test>", "<song2-2@harbeat.test>"}) +
        requestLine({"<uu-59@harbeat.test>"});
    std::vector<std::vector<Report>> runs;
    for (const char *pipeline : {"1", "64"}) {
        ASSERT_TRUE(corvane::setEngineOption("pipeline", pipeline));
        std::filesystem::remove_all(folder);
        ReportRecorder::clear();
        runs.push_back(run(request));
        EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin")) << pipeline;
        EXPECT_EQ(readFile(pathOf("song_59.mp3")), fixture("payload_59.bin")) << pipeline;
        EXPECT_FALSE(std::filesystem::exists(pathOf("song_45014.mp3"))) << pipeline;
    }
    corvane::resetEngineOptionsForTests();
    EXPECT_EQ(runs[0], runs[1]);
    EXPECT_EQ(server.connectionsAccepted(), 2u);
}

// A server that stops answering in the middle of a song: that song fails with the time-out, and
// the next one is fetched on a new session, never from the late replies of the old one.
TEST_F(BundledServerDownload, StallInASongFailsItAndTheNextUsesANewSession) {
    server.stop();
    harbeat::newsd::ServerOptions options;
    options.rules.push_back({"ARTICLE", "<song3-2@harbeat.test>", harbeat::newsd::CommandRule::Action::Silence});
    harbeat::newsd::NewsServer stalling(store, options);
    stalling.start(0);
    corvane::EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = stalling.port();
    corvane::storeEngineSettings(settings);
    ShortReceiveWait shortWait(std::chrono::milliseconds(300));
    const std::vector<Report> reports =
        run(requestLine({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"}) +
            requestLine({"<song2-1@harbeat.test>", "<song2-2@harbeat.test>"}));
    std::vector<std::string> errors;
    for (const Report &report : reports)
        if (report.code == kNotifyError) errors.push_back(report.text);
    EXPECT_EQ(errors, (std::vector<std::string>{"Timed Out, server has not responded."}));
    EXPECT_EQ(readFile(pathOf("song2.mp3")), fixture("payload_song2.bin"));
    EXPECT_FALSE(std::filesystem::exists(pathOf("song3.mp3")));
    EXPECT_EQ(stalling.connectionsAccepted(), 2u);
    stalling.stop();
}

namespace {

// The same saves over 1, 2 and 8 sessions: the same reports in the same order and the same files.
class ConnectionsDownload : public BundledServerDownload {
protected:
    std::string request =
        requestLine({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"}) +
        requestLine({"<uu-45014@harbeat.test>", "<song2-1@harbeat.test>", "<song2-2@harbeat.test>"}) +
        requestLine({"<uu-59@harbeat.test>"}) + requestLine({"<mime-45014@harbeat.test>"}) +
        requestLine({"<song2-1@harbeat.test>", "<song2-2@harbeat.test>"}) + requestLine({"<uu-1@harbeat.test>"});

    // Runs the request with `connections` against a server with `options`; `accepted` gets the
    // sessions it served.
    std::vector<Report> runWith(int connections, harbeat::newsd::ServerOptions options = {},
                                std::size_t *accepted = nullptr, bool preview = false, bool login = false) {
        harbeat::newsd::NewsServer serving(store, options);
        serving.start(0);
        corvane::EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = serving.port();
        if (login) {
            settings.user = "reader";
            settings.password = "secret";
        }
        corvane::storeEngineSettings(settings);
        EXPECT_TRUE(corvane::setEngineOption("connections", std::to_string(connections)));
        std::filesystem::remove_all(folder);
        ReportRecorder::clear();
        // A preview: the first article of song3 under the fixed name (the token before each song
        // is skipped).
        if (preview)
            EXPECT_NE(mp3BuildSongs(folder.c_str(), "Harbeat_Preview.mp3", ("x\t" + request).c_str(), 1), -1);
        else
            EXPECT_NE(mp3BuildSongs(folder.c_str(), "", request.c_str(), 0), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({preview ? kNotifyFileWritten : kNotifyDownloadDone}, std::chrono::seconds(20)));
        ReportRecorder::waitQuiet(std::chrono::milliseconds(100));
        if (accepted) *accepted = serving.connectionsAccepted();
        serving.stop();
        return ReportRecorder::reports();
    }

    void expectFiles(const std::string &label) {
        EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin")) << label;
        EXPECT_EQ(readFile(pathOf("song2.mp3")), fixture("payload_song2.bin")) << label;
        EXPECT_EQ(readFile(pathOf("song_59.mp3")), fixture("payload_59.bin")) << label;
        EXPECT_EQ(readFile(pathOf("song_45014.mp3")), fixture("payload_45014.bin")) << label;
    }
};

TEST_F(ConnectionsDownload, EveryNumberOfConnectionsGivesTheSameReportsAndFiles) {
    server.stop();
    // The second song fails on its expired part; the others are saved.
    store.expireArticle("<mime-45014@harbeat.test>");
    std::size_t accepted = 0;
    const std::vector<Report> one = runWith(1, {}, &accepted);
    EXPECT_EQ(accepted, 1u);
    expectFiles("1");
    ASSERT_EQ(one.back(), (Report{kNotifyDownloadDone, " "}));
    harbeat::newsd::ServerOptions slow;
    slow.latency = std::chrono::milliseconds(5);
    struct Case {
        int connections;
        harbeat::newsd::ServerOptions options;
        std::size_t accepted;
    };
    for (const Case &c : {Case{2, {}, 2}, Case{8, {}, 8}, Case{8, slow, 8}}) {
        const std::string label = std::to_string(c.connections) + " connections";
        EXPECT_EQ(runWith(c.connections, c.options, &accepted), one) << label;
        // A session opens only while articles wait for one: a busy machine may leave all of them
        // to the first.
        EXPECT_LE(accepted, c.accepted) << label;
        expectFiles(label);
    }
}

TEST_F(ConnectionsDownload, RefusedAndDroppedSessionsChangeNoReport) {
    server.stop();
    const std::vector<Report> one = runWith(1);
    using Action = harbeat::newsd::CommandRule::Action;
    const std::vector<Report> oneWithLogin = runWith(1, {}, nullptr, false, true);
    EXPECT_EQ(oneWithLogin, one);
    using Refusal = harbeat::newsd::ServerOptions::Refusal;
    for (Refusal way : {Refusal::Greeting400, Refusal::Greeting502, Refusal::Login481, Refusal::Login482,
                        Refusal::Login502, Refusal::Close}) {
        harbeat::newsd::ServerOptions limited;
        limited.maxConnections = 2;
        limited.refusal = way;
        EXPECT_EQ(runWith(8, limited, nullptr, false, true), one) << "refusal " << static_cast<int>(way);
        expectFiles("refusal " + std::to_string(static_cast<int>(way)));
    }
    harbeat::newsd::ServerOptions dropEveryThird;
    dropEveryThird.dropEvery = 3;
    EXPECT_EQ(runWith(8, dropEveryThird), one) << "every third connection dropped";
    expectFiles("every third dropped");
    // The first session to ask for the middle part of song3 is closed instead: the article is
    // fetched again on another session.
    harbeat::newsd::ServerOptions dropOnce;
    dropOnce.rules.push_back({"ARTICLE", "<song3-2@harbeat.test>", Action::Close, {}, 0, true, {}});
    dropOnce.rules.back().used = std::make_shared<std::atomic<bool>>(false);
    EXPECT_EQ(runWith(8, dropOnce), one) << "one session dropped mid-way";
    expectFiles("dropped once");
}

TEST_F(ConnectionsDownload, SongsOfAGroupTheServerLacksFailAlikeOnEverySession) {
    server.stop();
    // Between songs the server has, two of a group it does not carry: each fails with the answer
    // to "group", which goes out together with the first articles on a session of its own.
    const std::string gone = "alt.binaries.sounds.mp3.gone";
    request = requestLine({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"}) +
              requestLine({"<song2-1@harbeat.test>", "<song2-2@harbeat.test>"}, -1, gone) +
              requestLine({"<uu-59@harbeat.test>"}, -1, gone) + requestLine({"<uu-59@harbeat.test>"});
    const std::vector<Report> one = runWith(1);
    std::vector<std::string> errors;
    for (const Report &report : one)
        if (report.code == kNotifyError) errors.push_back(report.text.substr(0, 4));
    EXPECT_EQ(errors, (std::vector<std::string>{"411 ", "411 "}));
    for (int connections : {2, 8}) EXPECT_EQ(runWith(connections), one) << connections << " connections";
    EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin"));
    EXPECT_EQ(readFile(pathOf("song_59.mp3")), fixture("payload_59.bin"));
}

TEST_F(ConnectionsDownload, AnArticleWhoseSessionsDropTwiceFailsOnlyItsSong) {
    server.stop();
    harbeat::newsd::ServerOptions dropAlways;
    dropAlways.rules.push_back({"ARTICLE", "<song3-2@harbeat.test>", harbeat::newsd::CommandRule::Action::Close});
    const std::vector<Report> reports = runWith(8, dropAlways);
    std::vector<std::string> errors;
    for (const Report &report : reports)
        if (report.code == kNotifyError) errors.push_back(report.text);
    ASSERT_EQ(errors.size(), 1u);
    // Whether the send or the receive sees the closed connection first is a matter of timing.
    EXPECT_TRUE(errors[0] == "Connection closed by server." || errors[0] == "Cannot send after socket shutdown." ||
                errors[0] == "Connection reset by peer.")
        << errors[0];
    EXPECT_FALSE(std::filesystem::exists(pathOf("song3.mp3")));
    EXPECT_EQ(readFile(pathOf("song2.mp3")), fixture("payload_song2.bin"));
    EXPECT_EQ(reports.back(), (Report{kNotifyDownloadDone, " "}));
}

TEST_F(ConnectionsDownload, PreviewOverSeveralSessionsIsThePreviewOfOne) {
    server.stop();
    const std::vector<Report> one = runWith(1, {}, nullptr, true);
    ASSERT_EQ(one.back(), (Report{kNotifyStatus, "Downloading song preview...DONE!"}));
    const std::string previewOfOne = readFile(pathOf("Harbeat_Preview.mp3"));
    EXPECT_FALSE(previewOfOne.empty());
    EXPECT_EQ(runWith(8, {}, nullptr, true), one);
    EXPECT_EQ(readFile(pathOf("Harbeat_Preview.mp3")), previewOfOne);
}

TEST_F(ConnectionsDownload, StopWithEverySessionBusyEndsAtOnce) {
    server.stop();
    harbeat::newsd::ServerOptions hanging;
    hanging.rules.push_back({"ARTICLE", "", harbeat::newsd::CommandRule::Action::Silence});
    harbeat::newsd::NewsServer serving(store, hanging);
    serving.start(0);
    corvane::EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = serving.port();
    corvane::storeEngineSettings(settings);
    ASSERT_TRUE(corvane::setEngineOption("connections", "4"));
    // More articles than four sessions keep on the way: every session has some.
    const std::string many = request + request + request;
    EXPECT_NE(mp3BuildSongs(folder.c_str(), "", many.c_str(), 0), -1);
    for (int i = 0; i < 200 && serving.connectionsAccepted() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto stopped = std::chrono::steady_clock::now();
    mp3CancelFunc();
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyError}, std::chrono::seconds(5)));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(2));
    EXPECT_EQ(ReportRecorder::reports().back(), (Report{kNotifyError, "Operation cancelled by user."}));
    for (int i = 0; i < 200 && serving.activeConnections() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(serving.activeConnections(), 0u);
    EXPECT_EQ(serving.connectionsAccepted(), 4u);
    serving.stop();
}

}  // namespace
