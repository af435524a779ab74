// mp3GetNewsgroups against a scripted server: the command, the reports and how a run ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "core/debug_log.h"
#include "core/engine_settings.h"
#include "corvane_n.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::Report;
using harbeat::test::ReportRecorder;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;
using harbeat::test::TemporaryHome;

namespace {

constexpr const char *kGreeting = "200 news.example ready\r\n";

void useServer(int port) {
    EngineSettings settings;
    settings.server = "127.0.0.1";
    settings.port = port;
    storeEngineSettings(settings);
}

class NewsgroupList : public ::testing::Test {
protected:
    void SetUp() override {
        storeStatusCallback(ReportRecorder::callback());
        ReportRecorder::clear();
    }
    void TearDown() override {
        setCancelRequested(false);
        storeStatusCallback(nullptr);
        debugLogStop();
    }
    // Starts the list and waits for its last report; returns every report of the run.
    static std::vector<Report> runList(const char *filter, const char *date) {
        EXPECT_NE(mp3GetNewsgroups(filter, date), -1);
        EXPECT_TRUE(ReportRecorder::waitFor({kNotifyGroupList, kNotifyError}));
        ReportRecorder::waitQuiet(100ms);
        return ReportRecorder::reports();
    }
    static int countCode(const std::vector<Report> &reports, int32_t code) {
        return static_cast<int>(
            std::count_if(reports.begin(), reports.end(), [&](const Report &r) { return r.code == code; }));
    }
    ShortReceiveWait wait{2s};
};

struct CommandCase {
    const char *name;
    const char *date;
    const char *command;
    const char *status;
};

class ListCommand : public NewsgroupList, public ::testing::WithParamInterface<CommandCase> {};

const CommandCase kCommandCases[] = {
    {"Tilde", "~", "list\r\n", "215 list of newsgroups follows\r\n"},
    {"TildeThenText", "~240101", "list\r\n", "215 list of newsgroups follows\r\n"},
    {"SixDigits", "240115", "newgroups 240115 120000\r\n", "231 new newsgroups follow\r\n"},
    {"EmptyDateSixBlanks", "", "newgroups        120000\r\n", "231 new newsgroups follow\r\n"},
    {"ShortDatePaddedLeft", "115", "newgroups    115 120000\r\n", "231 new newsgroups follow\r\n"},
    {"DateCutToEight", "2024011599", "newgroups 20240115 120000\r\n", "231 new newsgroups follow\r\n"},
};

TEST_P(ListCommand, SendsTheCommandAndReportsTheMatchingNames) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect(GetParam().command)
        .send(std::string(GetParam().status) + "alt.binaries.sounds.mp3 10 1 y\r\nalt.sounds 5 1 y\r\n.\r\n")
        .expect("QUIT\r\n")
        .send("205 bye\r\n");
    peer.start();
    useServer(peer.port());

    const std::vector<Report> reports = runList("alt.binaries", GetParam().date);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures().front();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front(), (Report{kNotifyProgress, "0"}));
    EXPECT_EQ(reports.back(), (Report{kNotifyGroupList, "alt.binaries.sounds.mp3\r\n"}));
    for (std::size_t i = 1; i + 1 < reports.size(); ++i) EXPECT_EQ(reports[i].code, kNotifyProgress);
}

INSTANTIATE_TEST_SUITE_P(Dates, ListCommand, ::testing::ValuesIn(kCommandCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(NewsgroupList, NoNewGroupsGivesASingleBlank) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("newgroups 240115 120000\r\n")
        .send("231 none\r\n.\r\n")
        .expect("QUIT\r\n")
        .send("205\r\n");
    peer.start();
    useServer(peer.port());
    const std::vector<Report> reports = runList("alt.binaries", "240115");
    EXPECT_EQ(reports.back(), (Report{kNotifyGroupList, " "}));
}

TEST_F(NewsgroupList, ProgressCountsTheLinesReceived) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("list\r\n")
        .sendSplit({"215 list follows\r\na.b 1 1 y\r\n", "c.d 1 1 y\r\ne.f 1 1 y\r\n", ".\r\n"}, 80ms)
        .expect("QUIT\r\n")
        .send("205\r\n");
    peer.start();
    useServer(peer.port());
    const std::vector<Report> reports = runList("", "~");
    // After each further receive: the line breaks so far plus one.
    const std::vector<Report> expected = {{kNotifyProgress, "0"},
                                          {kNotifyProgress, "5.00"},
                                          {kNotifyProgress, "6.00"},
                                          {kNotifyGroupList, "a.b\r\nc.d\r\ne.f\r\n"}};
    EXPECT_EQ(reports, expected);
}

TEST_F(NewsgroupList, RefusedCommandEndsWithItsReplyLineAndTheLogLine) {
    TemporaryHome home;
    debugLogStart();
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("newgroups        120000\r\n")
        .send("501 bad date\r\n")
        .expect("QUIT\r\n")
        .send("205\r\n");
    peer.start();
    useServer(peer.port());

    const std::vector<Report> reports = runList("alt.binaries", "");
    const std::vector<Report> expected = {{kNotifyProgress, "0"}, {kNotifyError, "501 bad date"}};
    EXPECT_EQ(reports, expected);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_TRUE(peer.failures().empty()) << peer.failures().front();
    const std::string log = harbeat::test::readFile(home.path() / "HarbeatLog.txt");
    EXPECT_NE(log.find("ERROR: 501 bad date\r\n"), std::string::npos) << log;
}

TEST_F(NewsgroupList, UnreachableServerGivesOneErrorAndNothingElse) {
    useServer(harbeat::test::unusedLoopbackPort());
    const std::vector<Report> reports = runList("alt.binaries", "~");
    const std::vector<Report> expected = {{kNotifyError, "Connection refused."}};
    EXPECT_EQ(reports, expected);
}

TEST_F(NewsgroupList, CancelDuringTheTransferEndsWithoutTheList) {
    ScriptedPeer peer;
    peer.send(kGreeting)
        .expect("list\r\n")
        .sendSplit({"215 list\r\nalt.binaries.a 1 1 y\r\n", "alt.binaries.b 1 1 y\r\n"}, 50ms)
        .silent(400ms)
        .send("alt.binaries.c 1 1 y\r\n.\r\n")
        .expect("QUIT\r\n")
        .send("205\r\n");
    peer.start();
    useServer(peer.port());

    ASSERT_NE(mp3GetNewsgroups("alt.binaries", "~"), -1);
    // Cancel once the transfer is under way (its first progress count has arrived).
    for (int i = 0; i < 200 && countCode(ReportRecorder::reports(), kNotifyProgress) < 2; ++i)
        std::this_thread::sleep_for(10ms);
    mp3CancelFunc();
    ASSERT_TRUE(ReportRecorder::waitFor({kNotifyGroupList, kNotifyError}));
    ReportRecorder::waitQuiet(100ms);
    const std::vector<Report> reports = ReportRecorder::reports();
    EXPECT_EQ(reports.back(), (Report{kNotifyError, "Operation cancelled by user."}));
    EXPECT_EQ(countCode(reports, kNotifyError), 1);
    EXPECT_EQ(countCode(reports, kNotifyGroupList), 0);
}

TEST_F(NewsgroupList, StartClearsACancelLeftFromBefore) {
    ScriptedPeer peer;
    peer.send(kGreeting).expect("list\r\n").sendSplit({"215 list\r\n", "x.y 1 1 y\r\n.\r\n"}).expect("QUIT\r\n");
    peer.start();
    useServer(peer.port());
    mp3CancelFunc();
    const std::vector<Report> reports = runList("", "~");
    EXPECT_EQ(reports.back(), (Report{kNotifyGroupList, "x.y\r\n"}));
}

// The list's last report reaches the GUI before the session ends, so the GUI can go on while
// QUIT is still being said. The callback looks at what the server has received by then.
std::atomic<ScriptedPeer *> watchedPeer{nullptr};
std::atomic<int> quitSeenAtLastReport{-1};

void CORVANE_CALL noteQuitAtLastReport(int32_t code, const char16_t *) {
    if (code != kNotifyGroupList && code != kNotifyError) return;
    const std::vector<std::string> received = watchedPeer.load()->received();
    quitSeenAtLastReport = !received.empty() && received.back().find("QUIT") != std::string::npos;
}

TEST_F(NewsgroupList, LastReportComesBeforeQuit) {
    ScriptedPeer peer;
    peer.send(kGreeting).expect("list\r\n").send("215 list\r\na.b 1 1 y\r\n.\r\n").expect("QUIT\r\n").send("205\r\n");
    peer.start();
    useServer(peer.port());
    watchedPeer = &peer;
    storeStatusCallback(&noteQuitAtLastReport);
    ASSERT_NE(mp3GetNewsgroups("", "~"), -1);
    ASSERT_TRUE(peer.waitClosed());
    EXPECT_EQ(quitSeenAtLastReport.load(), 0);
    EXPECT_TRUE(peer.failures().empty()) << peer.failures().front();
}

}  // namespace
