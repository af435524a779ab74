// A whole download against the bundled news server: the files written are byte for byte the
// files the real encoders were given.
#include "core/engine_options.h"
#include "download_session.h"
#include "newsd/news_server.h"

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
    const std::string request =
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
