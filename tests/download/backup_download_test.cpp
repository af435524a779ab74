// Downloads from a main server that lost articles, with a backup server that has them (or not):
// the reports are those of a main server that had everything, or name the parts on neither.
#include <memory>
#include <thread>

#include "core/engine_options.h"
#include "download/backup_server.h"
#include "download_session.h"
#include "newsd/news_server.h"
#include "support/test_certificates.h"

using namespace harbeat::test;
using harbeat::newsd::NewsServer;
using harbeat::newsd::ServerOptions;

namespace {

const std::string kSong3 = requestLine({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"});
const std::string kSong2 = requestLine({"<song2-1@harbeat.test>", "<song2-2@harbeat.test>"});

ServerOptions dropping(std::vector<std::string> messageIds) {
    ServerOptions options;
    options.droppedMessageIds = std::move(messageIds);
    return options;
}

class BackupDownload : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        store.addGroup(kGroup, 0, true);
        for (const char *name :
             {"uu_song3_article1", "uu_song3_article2", "uu_song3_article3", "uu_song2_article1", "uu_song2_article2"})
            store.addArticle(fixture(std::string(name) + ".article"));
    }

    // What a run did: its reports and the sessions each server served.
    struct Run {
        std::vector<Report> reports;
        std::size_t mainSessions = 0;
        std::size_t backupSessions = 0;
    };

    // Saves (or previews) song3 and song2 over `connections` from a main server with `main`;
    // with `backup` set, a backup server with those options runs and is configured, unless
    // `backupHost` names another host (then `backupPort` is used).
    Run run(int connections, const ServerOptions &main, const ServerOptions *backup, bool preview = false,
            const std::string &backupHost = "127.0.0.1", int backupPort = 0) {
        NewsServer mainServer(store, main);
        mainServer.start(0);
        std::unique_ptr<NewsServer> backupServer;
        corvane::EngineSettings settings;
        settings.server = "127.0.0.1";
        settings.port = mainServer.port();
        corvane::storeEngineSettings(settings);
        EXPECT_TRUE(corvane::setEngineOption("connections", std::to_string(connections)));
        if (backup) {
            backupServer = std::make_unique<NewsServer>(store, *backup);
            backupServer->start(0);
            EXPECT_TRUE(corvane::setEngineOption("backup-host", backupHost));
            const int port = backupPort != 0 ? backupPort : backupServer->port();
            EXPECT_TRUE(corvane::setEngineOption("backup-port", std::to_string(port)));
        }
        std::filesystem::remove_all(folder);
        ReportRecorder::clear();
        const std::string request = kSong3 + kSong2;
        if (preview)
            EXPECT_NE(mp3BuildSongs(folder.c_str(), "Harbeat_Preview.mp3", ("x\t" + request).c_str(), 1), -1);
        else
            EXPECT_NE(mp3BuildSongs(folder.c_str(), "", request.c_str(), 0), -1);
        const int32_t last = preview ? kNotifyStatus : kNotifyDownloadDone;
        EXPECT_TRUE(ReportRecorder::waitFor({last}, std::chrono::seconds(20)));
        if (preview) {
            // The last report of a preview is its DONE text; earlier 9000s are song statuses.
            for (int i = 0; i < 200 && ReportRecorder::reports().back().text != "Downloading song preview...DONE!"; ++i)
                ReportRecorder::waitQuiet(std::chrono::milliseconds(50));
        }
        ReportRecorder::waitQuiet(std::chrono::milliseconds(100));
        Run result{ReportRecorder::reports(), mainServer.connectionsAccepted(),
                   backupServer ? backupServer->connectionsAccepted() : 0};
        mainServer.stop();
        if (backupServer) backupServer->stop();
        return result;
    }

    void expectSongFiles(const std::string &label) {
        EXPECT_EQ(readFile(pathOf("song3.mp3")), fixture("payload_song3.bin")) << label;
        EXPECT_EQ(readFile(pathOf("song2.mp3")), fixture("payload_song2.bin")) << label;
    }

    harbeat::newsd::NewsStore store;
};

// The reports of song3 failing with `failure` and song2 saved.
std::vector<Report> song3FailsWith(const std::string &failure, const std::string &song2Path) {
    return {{kNotifyStatus, "Downloading requested songs (1/2)..."},
            {kNotifyProgress, "20.00"},
            {kNotifyProgress, "40.00"},
            {kNotifyProgress, "60.00"},
            {kNotifyError, failure},
            {kNotifyStatus, "Downloading requested songs (2/2)..."},
            {kNotifyProgress, "80.00"},
            {kNotifyProgress, "100.00"},
            {kNotifyFileWritten, song2Path},
            {kNotifySaveDone, "Downloading requested songs...DONE!"},
            {kNotifyDownloadDone, " "}};
}

TEST(MissingPartsMessage, NamesThePartsAndTheSong) {
    struct Case {
        std::vector<std::size_t> parts;
        const char *song;
        const char *backupFailure;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {{3}, "Song.mp3", "", "Part 3 of Song.mp3 is on neither server."},
        {{3, 7}, "Song.mp3", "", "Parts 3 and 7 of Song.mp3 are on neither server."},
        {{3, 5, 7}, "Song.mp3", "", "Parts 3, 5 and 7 of Song.mp3 are on neither server."},
        {{1, 2}, "", "", "Parts 1 and 2 of this song are on neither server."},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         "S.mp3",
         "",
         "Parts 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 and 2 more of S.mp3 are on neither server."},
        {{2},
         "Song.mp3",
         "Connection refused.",
         "Part 2 of Song.mp3 is not on the main server, and the backup server failed: Connection refused."},
        {{2, 4},
         "Song.mp3",
         "481 Authentication failed",
         "Parts 2 and 4 of Song.mp3 are not on the main server, and the backup server failed: 481 Authentication "
         "failed"},
    };
    for (const Case &c : cases) {
        corvane::MissingParts missing;
        missing.parts = c.parts;
        missing.backupFailure = c.backupFailure;
        EXPECT_EQ(missing.message(c.song), c.expected);
    }
    for (const char *reply : {"430 no such article", "423 no such number", "420 no current", "411 no such group"})
        EXPECT_TRUE(corvane::isMissingArticleReply(reply)) << reply;
    for (const char *reply : {"480 login first", "502 no permission", "220 0 <a@b>", "Connection refused.", "400 bye"})
        EXPECT_FALSE(corvane::isMissingArticleReply(reply)) << reply;
}

TEST_F(BackupDownload, PartsTheMainServerLacksComeFromTheBackup) {
    const ServerOptions full;
    struct Case {
        const char *label;
        std::vector<std::string> dropped;
    };
    const std::vector<Case> cases = {
        {"one part", {"<song3-2@harbeat.test>"}},
        {"several parts", {"<song3-1@harbeat.test>", "<song3-3@harbeat.test>", "<song2-2@harbeat.test>"}},
        {"every part",
         {"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>", "<song2-1@harbeat.test>",
          "<song2-2@harbeat.test>"}},
    };
    for (const int connections : {1, 8}) {
        // Nothing missing: the backup is never asked, not even connected.
        const Run expected = run(connections, full, &full);
        EXPECT_EQ(expected.backupSessions, 0u);
        ASSERT_EQ(expected.reports.back(), (Report{kNotifyDownloadDone, " "}));
        for (const Case &c : cases) {
            const std::string label = std::string(c.label) + ", " + std::to_string(connections) + " connections";
            const Run got = run(connections, dropping(c.dropped), &full);
            EXPECT_EQ(got.reports, expected.reports) << label;
            // One backup session for the whole download, opened at the first miss.
            EXPECT_EQ(got.backupSessions, 1u) << label;
            expectSongFiles(label);
        }
    }
}

// The backup is asked for every miss of a song as soon as it is known, with no group selected:
// three misses cost it one round trip.
TEST_F(BackupDownload, MissesGoToTheBackupTogether) {
    const ServerOptions full;
    const Run expected = run(1, full, nullptr);
    ScriptedPeer backup;
    backup.send("200 backup ready\r\n");
    for (const char *part : {"1", "2", "3"})
        backup.expect(std::string("article <song3-") + part + "@harbeat.test>\r\n");
    for (const char *part : {"1", "2", "3"}) {
        const std::string id = std::string("<song3-") + part + "@harbeat.test>";
        backup.send(articleReply(id, fixture(std::string("uu_song3_article") + part + ".article")));
    }
    backup.expect("QUIT\r\n");
    backup.start();
    const Run got = run(1, dropping({"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"}),
                        &full, false, "127.0.0.1", backup.port());
    EXPECT_EQ(got.reports, expected.reports);
    EXPECT_TRUE(backup.waitClosed());
    for (const std::string &failure : backup.failures()) ADD_FAILURE() << failure;
    expectSongFiles("scripted backup");
}

// A backup that closed its session between two songs (as servers close idle ones) is asked again
// on a new one.
TEST_F(BackupDownload, ABackupSessionClosedMeanwhileIsOpenedAgain) {
    const ServerOptions full;
    const Run expected = run(1, full, nullptr);
    ScriptedPeer backup;
    backup.send("200 backup ready\r\n");
    backup.expect("article <song3-2@harbeat.test>\r\n");
    backup.send(articleReply("<song3-2@harbeat.test>", fixture("uu_song3_article2.article")));
    backup.close();
    backup.nextConnection();
    backup.send("200 backup ready\r\n");
    backup.expect("article <song2-1@harbeat.test>\r\n");
    backup.send(articleReply("<song2-1@harbeat.test>", fixture("uu_song2_article1.article")));
    backup.expect("QUIT\r\n");
    backup.start();
    const Run got = run(1, dropping({"<song3-2@harbeat.test>", "<song2-1@harbeat.test>"}), &full, false, "127.0.0.1",
                        backup.port());
    EXPECT_EQ(got.reports, expected.reports);
    EXPECT_TRUE(backup.waitClosed());
    for (const std::string &failure : backup.failures()) ADD_FAILURE() << failure;
    EXPECT_EQ(backup.connectionsAccepted(), 2);
    expectSongFiles("reopened backup");
}

// A backup that greets, takes the first request for song3's second part and then says nothing.
void startSilentBackup(ScriptedPeer &backup, std::chrono::milliseconds silence) {
    backup.send("200 backup ready\r\n");
    backup.expect("article <song3-2@harbeat.test>\r\n");
    backup.silent(silence);
    backup.start();
}

// A backup that stops answering costs one wait in a download, not one per missing part, and a
// cancel ends the wait at once.
TEST_F(BackupDownload, ASilentBackupIsWaitedForOnce) {
    ShortReceiveWait shortWait(std::chrono::milliseconds(300));
    ScriptedPeer backup;
    startSilentBackup(backup, std::chrono::milliseconds(5000));
    const ServerOptions full;
    const Run silent = run(1, dropping({"<song3-2@harbeat.test>", "<song2-1@harbeat.test>"}), &full, false,
                           "127.0.0.1", backup.port());
    const std::string failed = " is not on the main server, and the backup server failed: Timed Out, server has not "
                               "responded.";
    const std::vector<Report> expected = {{kNotifyStatus, "Downloading requested songs (1/2)..."},
                                          {kNotifyProgress, "20.00"},
                                          {kNotifyProgress, "40.00"},
                                          {kNotifyProgress, "60.00"},
                                          {kNotifyError, "Part 2 of song3.mp3" + failed},
                                          {kNotifyStatus, "Downloading requested songs (2/2)..."},
                                          {kNotifyProgress, "80.00"},
                                          {kNotifyProgress, "100.00"},
                                          {kNotifyError, "Part 1 of this song" + failed},
                                          {kNotifySaveDone, "Downloading requested songs...DONE!"},
                                          {kNotifyDownloadDone, " "}};
    EXPECT_EQ(silent.reports, expected);
    EXPECT_EQ(backup.connectionsAccepted(), 1);
}

TEST_F(BackupDownload, ACancelEndsTheWaitForTheBackup) {
    // A cancel gives a server a second to answer; the receive wait is far longer.
    ShortReceiveWait longWait(std::chrono::milliseconds(8000));
    ScriptedPeer backup;
    startSilentBackup(backup, std::chrono::milliseconds(10000));
    NewsServer mainServer(store, dropping({"<song3-2@harbeat.test>"}));
    mainServer.start(0);
    corvane::EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = mainServer.port();
    corvane::storeEngineSettings(settings);
    ASSERT_TRUE(corvane::setEngineOption("backup-host", "127.0.0.1"));
    ASSERT_TRUE(corvane::setEngineOption("backup-port", std::to_string(backup.port())));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_NE(mp3BuildSongs(folder.c_str(), "", (kSong3 + kSong2).c_str(), 0), -1);
    // Cancelled while the backup owes its answer.
    for (int i = 0; i < 400; ++i) {
        const std::vector<std::string> received = backup.received();
        if (!received.empty() && received[0].find("article") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    mp3CancelFunc();
    EXPECT_TRUE(ReportRecorder::waitFor({kNotifyError}, std::chrono::seconds(10)));
    ReportRecorder::waitQuiet(std::chrono::milliseconds(100));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(5000));
    EXPECT_EQ(ReportRecorder::reports().back(), (Report{kNotifyError, "Operation cancelled by user."}));
    mainServer.stop();
}

TEST_F(BackupDownload, PartsOnNeitherServerAreNamed) {
    struct Case {
        const char *label;
        std::vector<std::string> droppedOnMain;
        std::vector<std::string> droppedOnBackup;
        std::string failure;
    };
    const std::vector<Case> cases = {
        {"one part on neither",
         {"<song3-2@harbeat.test>", "<song3-3@harbeat.test>"},
         {"<song3-2@harbeat.test>"},
         "Part 2 of song3.mp3 is on neither server."},
        // Without its first part the song's name is not known.
        {"two parts on neither",
         {"<song3-1@harbeat.test>", "<song3-3@harbeat.test>"},
         {"<song3-1@harbeat.test>", "<song3-3@harbeat.test>"},
         "Parts 1 and 3 of this song are on neither server."},
        {"a backup lacking everything",
         {"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>"},
         {"<song3-1@harbeat.test>", "<song3-2@harbeat.test>", "<song3-3@harbeat.test>", "<song2-1@harbeat.test>",
          "<song2-2@harbeat.test>"},
         "Parts 1, 2 and 3 of this song are on neither server."},
    };
    for (const int connections : {1, 8}) {
        for (const Case &c : cases) {
            const std::string label = std::string(c.label) + ", " + std::to_string(connections) + " connections";
            const ServerOptions backup = dropping(c.droppedOnBackup);
            const Run got = run(connections, dropping(c.droppedOnMain), &backup);
            EXPECT_EQ(got.reports, song3FailsWith(c.failure, pathOf("song2.mp3"))) << label;
            EXPECT_EQ(got.backupSessions, 1u) << label;
            EXPECT_FALSE(std::filesystem::exists(pathOf("song3.mp3"))) << label;
        }
    }
}

TEST_F(BackupDownload, AFailingBackupIsNamedAndTheOtherSongsGoOn) {
    ServerOptions login;
    login.user = "block";
    login.password = "right";
    ASSERT_TRUE(corvane::setEngineOption("backup-user", "block"));
    ASSERT_TRUE(corvane::setEngineOption("backup-password", "wrong"));
    const ServerOptions mainLacks = dropping({"<song3-2@harbeat.test>"});
    const std::string prefix = "Part 2 of song3.mp3 is not on the main server, and the backup server failed: ";
    for (const int connections : {1, 8}) {
        const std::string label = std::to_string(connections) + " connections";
        Run got = run(connections, mainLacks, &login);
        EXPECT_EQ(got.reports, song3FailsWith(prefix + "481 Authentication failed", pathOf("song2.mp3"))) << label;

        // A port where nothing listens: the backup is down.
        const ServerOptions full;
        got = run(connections, mainLacks, &full, false, "127.0.0.1", unusedLoopbackPort());
        EXPECT_EQ(got.reports, song3FailsWith(prefix + "Connection refused.", pathOf("song2.mp3"))) << label;

        got = run(connections, mainLacks, &full, false, "backup.harbeat.invalid");
        ASSERT_GE(got.reports.size(), 5u) << label;
        EXPECT_EQ(got.reports[4].text.rfind(prefix, 0), 0u) << got.reports[4].text;
        EXPECT_EQ(got.reports.back(), (Report{kNotifyDownloadDone, " "})) << label;
    }
}

TEST_F(BackupDownload, TheMainServerAsItsOwnBackupFindsNothingMore) {
    // Both "servers" are one: the backup asks the same server, which lacks the same part.
    const ServerOptions mainLacks = dropping({"<song3-2@harbeat.test>"});
    NewsServer both(store, mainLacks);
    both.start(0);
    const Run got = run(1, mainLacks, &mainLacks, false, "127.0.0.1", both.port());
    both.stop();
    EXPECT_EQ(got.reports, song3FailsWith("Part 2 of song3.mp3 is on neither server.", pathOf("song2.mp3")));
}

TEST_F(BackupDownload, BackupOverTls) {
    const TestCertificates certificates;
    ServerOptions tls;
    tls.tlsCertificateFile = certificates.trusted().certificate;
    tls.tlsKeyFile = certificates.trusted().key;
    ASSERT_TRUE(corvane::setEngineOption("backup-tls", "1"));
    ASSERT_TRUE(corvane::setEngineOption("tls-ca-file", certificates.caFile()));
    const ServerOptions full;
    const Run expected = run(1, full, nullptr);
    const Run got = run(1, dropping({"<song3-1@harbeat.test>", "<song2-2@harbeat.test>"}), &tls);
    EXPECT_EQ(got.reports, expected.reports);
    EXPECT_EQ(got.backupSessions, 1u);
    expectSongFiles("tls");
}

TEST_F(BackupDownload, APreviewTakesItsFirstPartFromTheBackup) {
    const ServerOptions full;
    for (const int connections : {1, 8}) {
        const std::string label = std::to_string(connections) + " connections";
        const Run expected = run(connections, full, nullptr, true);
        const std::string whole = readFile(pathOf("Harbeat_Preview.mp3"));
        ASSERT_FALSE(whole.empty()) << label;
        const Run got = run(connections, dropping({"<song3-1@harbeat.test>", "<song2-1@harbeat.test>"}), &full, true);
        EXPECT_EQ(got.reports, expected.reports) << label;
        EXPECT_EQ(readFile(pathOf("Harbeat_Preview.mp3")), whole) << label;
    }
}

}  // namespace
