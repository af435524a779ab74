// Whole downloads through mp3BuildSongs against a scripted server: the conversation, the reports
// in their order and the files written.
#include <thread>

#include "core/debug_log.h"
#include "download_session.h"

using namespace harbeat::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kSong3 = {"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"};
const std::vector<std::string> kSong2 = {"<song2-1@harbeat.test>", "<song2-2@harbeat.test>"};

void scriptSong3(ScriptedPeer &peer, int articles = 3) {
    for (int n = 1; n <= articles; ++n)
        scriptArticle(peer, kSong3[n - 1], "uu_song3_article" + std::to_string(n) + ".article");
}

}  // namespace

TEST_F(DownloadTest, ThreeArticleSongIsSavedUnderItsBeginLineName) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    scriptSong3(peer);
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine(kSong3));
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading requested songs (1/1)..."},
                                            {kNotifyProgress, "33.33"},
                                            {kNotifyProgress, "66.67"},
                                            {kNotifyProgress, "100.00"},
                                            {kNotifyFileWritten, pathOf("song3.mp3")},
                                            {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                            {kNotifyDownloadDone, " "}}));
    EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin"));
}

TEST_F(DownloadTest, TwoSongsShareOneSessionAndOneProgressScale) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    scriptArticle(peer, kSong2[0], "uu_song2_article1.article");
    scriptArticle(peer, kSong2[1], "uu_song2_article2.article");
    peer.expect(std::string("group ") + kGroup + "\r\n");
    peer.send(std::string("211 3 1 3 ") + kGroup + "\r\n");
    scriptArticle(peer, "<uu-59@harbeat.test>", "uu_59.article");
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine(kSong2) + requestLine({"<uu-59@harbeat.test>"}));
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading requested songs (1/2)..."},
                                            {kNotifyProgress, "33.33"},
                                            {kNotifyProgress, "66.67"},
                                            {kNotifyFileWritten, pathOf("song2.mp3")},
                                            {kNotifyStatus, "Downloading requested songs (2/2)..."},
                                            {kNotifyProgress, "100.00"},
                                            {kNotifyFileWritten, pathOf("song_59.mp3")},
                                            {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                            {kNotifyDownloadDone, " "}}));
    EXPECT_EQ(readFile(pathOf("song2.mp3")), fixture("payload_song2.bin"));
    // Its last line starts with "." and arrived dot-stuffed.
    EXPECT_EQ(readFile(pathOf("song_59.mp3")), fixture("payload_59.bin"));
}

TEST_F(DownloadTest, PreviewFetchesOnlyTheFirstArticleAndWritesItUnderTheFixedName) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    scriptSong3(peer, 1);
    scriptQuit(peer);
    const std::vector<Report> reports =
        download(peer, "Test Artist - song3.mp3\t" + requestLine(kSong3), "Harbeat_Preview.mp3", -1);
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading song preview..."},
                                            {kNotifyProgress, "33.33"},
                                            {kNotifyFileWritten, pathOf("Harbeat_Preview.mp3")},
                                            {kNotifyStatus, "Downloading song preview...DONE!"}}));
    EXPECT_EQ(readFile(pathOf("Harbeat_Preview.mp3")), fixture("payload_song3.bin").substr(0, 40 * 45));
    EXPECT_FALSE(fs::exists(pathOf("song3.mp3")));
}

TEST_F(DownloadTest, PreviewOfAnArticleWithoutAFileEndsWithAnErrorNotAnOldPath) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    peer.expect("article <text@harbeat.test>\r\n");
    peer.send(articleReply("<text@harbeat.test>", "Subject: only words (1/1)\r\n\r\nNo file in here.\r\n"));
    scriptQuit(peer);
    const std::vector<Report> reports =
        download(peer, "0\t" + requestLine({"<text@harbeat.test>"}), "Harbeat_Preview.mp3", -1);
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading song preview..."},
                                            {kNotifyProgress, "100.00"},
                                            {kNotifyError, "No file could be decoded from this song."},
                                            {kNotifyStatus, "Downloading song preview...DONE!"}}));
    EXPECT_FALSE(fs::exists(pathOf("Harbeat_Preview.mp3")));
}

TEST_F(DownloadTest, ExpiredArticleFailsItsSongButNotTheDownload) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    // The three commands go out together; after the refusal the third reply is read away.
    scriptSong3(peer, 1);
    peer.expect("article " + kSong3[1] + "\r\n");
    peer.send("430 no such article\r\n");
    scriptArticle(peer, kSong3[2], "uu_song3_article3.article");
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine(kSong3));
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading requested songs (1/1)..."},
                                            {kNotifyProgress, "33.33"},
                                            {kNotifyError, "430 no such article"},
                                            {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                            {kNotifyDownloadDone, " "}}));
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(DownloadTest, RefusalWithManyArticlesOnTheWayLeavesThemUnreadForANewSession) {
    std::vector<std::string> ids;
    for (int i = 0; i < 12; ++i) ids.push_back("<many-" + std::to_string(i) + "@harbeat.test>");
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    for (const std::string &id : ids) peer.expect("article " + id + "\r\n");
    // The first is refused; the eleven articles behind it are on the way, but the client says QUIT
    // instead of reading them.
    std::string rest = "430 no such article\r\n";
    for (std::size_t i = 1; i < ids.size(); ++i) rest += articleReply(ids[i], fixture("uu_59.article"));
    peer.send(rest);
    peer.expect("QUIT\r\n");
    peer.nextConnection();
    scriptGreetingAndGroup(peer);
    scriptArticle(peer, "<uu-59@harbeat.test>", "uu_59.article");
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine(ids) + requestLine({"<uu-59@harbeat.test>"}));
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading requested songs (1/2)..."},
                                            {kNotifyError, "430 no such article"},
                                            {kNotifyStatus, "Downloading requested songs (2/2)..."},
                                            {kNotifyProgress, "100.00"},
                                            {kNotifyFileWritten, pathOf("song_59.mp3")},
                                            {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                            {kNotifyDownloadDone, " "}}));
    EXPECT_EQ(peer.connectionsAccepted(), 2);
    ASSERT_EQ(peer.received().size(), 2u);
    EXPECT_TRUE(peer.received()[0].ends_with("QUIT\r\n"));
}

TEST_F(DownloadTest, ArticleOfTooManyPartsFailsItsSongAndTheNextFollows) {
    std::string body = "Subject: many\r\n\r\n";
    for (int i = 0; i <= 1000; ++i) body += "=ybegin line=128 size=3 name=tiny.mp3\r\nklm\r\n=yend size=3\r\n";
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    peer.expect("article <many@harbeat.test>\r\n");
    peer.send(articleReply("<many@harbeat.test>", body));
    peer.expect(std::string("group ") + kGroup + "\r\n");
    peer.send(std::string("211 3 1 3 ") + kGroup + "\r\n");
    scriptArticle(peer, "<uu-59@harbeat.test>", "uu_59.article");
    scriptQuit(peer);
    const std::vector<Report> reports =
        download(peer, requestLine({"<many@harbeat.test>"}) + requestLine({"<uu-59@harbeat.test>"}));
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading requested songs (1/2)..."},
                                            {kNotifyError,
                                             "An article of more than 1,000 encoded parts cannot be "
                                             "decoded."},
                                            {kNotifyStatus, "Downloading requested songs (2/2)..."},
                                            {kNotifyProgress, "100.00"},
                                            {kNotifyFileWritten, pathOf("song_59.mp3")},
                                            {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                            {kNotifyDownloadDone, " "}}));
    EXPECT_FALSE(fs::exists(pathOf("tiny.mp3")));
}

TEST_F(DownloadTest, RefusedGroupFailsItsSongAndTheNextFollows) {
    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n");
    peer.expect("group alt.gone\r\n");
    peer.send("411 no such group\r\n");
    peer.expect(std::string("group ") + kGroup + "\r\n");
    peer.send(std::string("211 3 1 3 ") + kGroup + "\r\n");
    scriptArticle(peer, "<uu-45@harbeat.test>", "uu_45.article");
    scriptQuit(peer);
    const std::vector<Report> reports =
        download(peer, requestLine({"<a@x>"}, 1, "alt.gone") + requestLine({"<uu-45@harbeat.test>"}));
    ASSERT_EQ(reports.size(), 7u);
    // The group reply is passed on as received.
    EXPECT_EQ(reports[1], (Report{kNotifyError, "411 no such group\r\n"}));
    EXPECT_EQ(reports[3], (Report{kNotifyProgress, "100.00"}));
    EXPECT_EQ(readFile(pathOf("song_45.mp3")), fixture("payload_45.bin"));
}

TEST_F(DownloadTest, EmptyRequestOpensAndClosesASession) {
    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n");
    scriptQuit(peer);
    EXPECT_EQ(download(peer, ""), (std::vector<Report>{{kNotifySaveDone, "Downloading requested songs...DONE!"},
                                                       {kNotifyDownloadDone, " "}}));
}

TEST_F(DownloadTest, MoreThanTenThousandSongsDownloadNothing) {
    corvane::debugLogStart();
    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n");
    scriptQuit(peer);
    std::string request;
    for (int i = 0; i < 10001; ++i) request += requestLine({"<" + std::to_string(i) + "@x>"});
    const std::vector<Report> reports = download(peer, request);
    corvane::debugLogStop();
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyError, "Only a MAX of 10,000 songs can be saved at once."}}));
    EXPECT_NE(
        readFile(home.path() / "HarbeatLog.txt").find("ERROR: Only a MAX of 10,000 songs can be saved at once.\r\n"),
        std::string::npos);
}

TEST_F(DownloadTest, SessionThatCannotOpenEndsWithItsMessage) {
    corvane::EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = unusedLoopbackPort();
    corvane::storeEngineSettings(settings);
    ASSERT_NE(mp3BuildSongs(folder.c_str(), "", requestLine(kSong3).c_str(), 0), -1);
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyError}));
    ReportRecorder::waitQuiet(100ms);
    EXPECT_EQ(ReportRecorder::reports(), (std::vector<Report>{{kNotifyError, "Connection refused."}}));
}

TEST_F(DownloadTest, CancelDuringAnArticleEndsTheDownloadWithoutAFile) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    for (const std::string &id : kSong3) peer.expect("article " + id + "\r\n");
    const std::string reply = articleReply(kSong3[0], fixture("uu_song3_article1.article"));
    peer.sendSplit({reply.substr(0, 100), reply.substr(100)}, 300ms);
    // Replies are still on the way: QUIT goes out without waiting for its answer.
    peer.expect("QUIT\r\n");
    std::thread canceller([] {
        ReportRecorder::waitFor({kNotifyStatus});
        std::this_thread::sleep_for(100ms);
        mp3CancelFunc();
    });
    const std::vector<Report> reports = download(peer, requestLine(kSong3));
    canceller.join();
    EXPECT_EQ(reports, (std::vector<Report>{{kNotifyStatus, "Downloading requested songs (1/1)..."},
                                            {kNotifyError, "Operation cancelled by user."}}));
    EXPECT_FALSE(fs::exists(folder));
}

// Stop, then at once another operation: the stopped download must stay stopped and write nothing,
// and none of its reports may reach the GUI after the new operation started.
TEST_F(DownloadTest, StoppedDownloadStaysStoppedWhenTheNextOperationStarts) {
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    scriptArticle(peer, kSong3[0], "uu_song3_article1.article");
    scriptArticle(peer, kSong3[1], "uu_song3_article2.article");
    peer.expect("article " + kSong3[2] + "\r\n");
    const std::string reply = articleReply(kSong3[2], fixture("uu_song3_article3.article"));
    peer.sendSplit({reply.substr(0, 100), reply.substr(100)}, 400ms);
    scriptQuit(peer);
    std::thread stopThenStart([&peer] {
        // Stop while the last article arrives. The first report comes after the peer started.
        ReportRecorder::waitFor({kNotifyStatus});
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline &&
               (peer.received().empty() || peer.received()[0].find(kSong3[2]) == std::string::npos))
            std::this_thread::sleep_for(5ms);
        mp3CancelFunc();
        // A search that fails at once: nothing listens on the port.
        corvane::storeEngineSettings({"127.0.0.1", unusedLoopbackPort(), "", "", 0});
        ReportRecorder::clear();
        mp3GetSongs("g.one\tjazz\r\n");
    });
    download(peer, requestLine(kSong3));
    stopThenStart.join();
    ReportRecorder::waitQuiet(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(pathOf("song3.mp3")));
    EXPECT_EQ(ReportRecorder::reports(), (std::vector<Report>{{kNotifyError, "Connection refused."}}));
}

// A song whose file cannot be written reports no 9006: neither its own path, which holds no
// song, nor one left from an earlier song.
TEST_F(DownloadTest, SongThatCannotBeWrittenSendsNoFilePath) {
    fs::create_directories(folder / "song3.mp3");  // a folder where the file should go
    ScriptedPeer peer;
    scriptGreetingAndGroup(peer);
    scriptSong3(peer);
    scriptQuit(peer);
    const std::vector<Report> reports = download(peer, requestLine(kSong3));
    // One report names the file and its problem; the song then fails without a second one.
    ASSERT_EQ(reports.size(), 7u);
    EXPECT_EQ(reports[4].code, kNotifyError);
    EXPECT_EQ(reports[4].text.rfind("Cannot create the file \"" + pathOf("song3.mp3") + "\"", 0), 0u);
    EXPECT_EQ(reports[5].code, kNotifySaveDone);
    EXPECT_EQ(reports[6].code, kNotifyDownloadDone);
}
