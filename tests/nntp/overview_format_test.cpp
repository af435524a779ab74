#include <gtest/gtest.h>

#include "nntp/overview_layout.h"
#include "nntp/session.h"
#include "support/scripted_peer.h"
#include "support/test_environment.h"

using namespace corvane;
using namespace std::chrono_literals;
using harbeat::test::ScriptedPeer;
using harbeat::test::ShortReceiveWait;

namespace {

// Runs "list overview.fmt" against a peer that answers `answer` (as one or several sends).
int readFormat(std::vector<std::string> answer, std::string &error) {
    ScriptedPeer peer;
    peer.send("200 ok\r\n").expect("list overview.fmt\r\n").sendSplit(std::move(answer)).silent(2s);
    peer.start();
    const Connection c = nntpOpenSession(error, "127.0.0.1", peer.port(), nullptr, "", "", nullptr);
    EXPECT_NE(c, 0) << error;
    const int result = nntpReadOverviewFormat(error, c);
    netClose(c);
    return result;
}

bool operator==(const OverviewLayout &a, const OverviewLayout &b) {
    return a.subjectIndex == b.subjectIndex && a.linesIndex == b.linesIndex && a.messageIdIndex == b.messageIdIndex &&
           a.dateIndex == b.dateIndex && a.bytesIndex == b.bytesIndex;
}

}  // namespace

TEST(OverviewFormat, UsualAnswerGivesTheUsualPositions) {
    storeOverviewLayout({});
    std::string error;
    ASSERT_EQ(readFormat({ScriptedPeer::usualOverviewFormat()}, error), 1) << error;
    EXPECT_TRUE((overviewLayout() == OverviewLayout{1, 7, 4, 3, 6}));
}

TEST(OverviewFormat, SizeFieldsAreFoundUnderTheirNewerNames) {
    storeOverviewLayout({});
    std::string error;
    ASSERT_EQ(readFormat({"215 fmt\r\nSubject:\r\nFrom:\r\nDate:\r\nMessage-ID:\r\nReferences:\r\n:bytes\r\n:lines\r\n"
                          "Xref:full\r\n.\r\n"},
                         error),
              1)
        << error;
    EXPECT_TRUE((overviewLayout() == OverviewLayout{1, 7, 4, 3, 6}));
}

TEST(OverviewFormat, CapitalsCountAndMissingFieldsKeepTheirOldValue) {
    storeOverviewLayout({9, 9, 9, 9});
    std::string error;
    // Split in the middle of a field name; no Lines: field; blank lines count for nothing.
    ASSERT_EQ(readFormat({"215 fmt\r\nMESSAGE-ID:\r\n\r\nSUBJ", "ECT:\r\ndate:\r\n.\r\n"}, error), 1) << error;
    EXPECT_TRUE((overviewLayout() == OverviewLayout{2, 9, 1, 3}));
}

TEST(OverviewFormat, RefusalFailsWithTheReplyAtOnce) {
    ShortReceiveWait wait(5s);
    storeOverviewLayout({1, 7, 4, 3});
    std::string error;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(readFormat({"503 overview not supported\r\n"}, error), 0);
    EXPECT_EQ(error, "503 overview not supported\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
    EXPECT_TRUE((overviewLayout() == OverviewLayout{1, 7, 4, 3}));
}

TEST(OverviewFormat, AnswerWithoutTerminatorTimesOut) {
    ShortReceiveWait wait(200ms);
    std::string error;
    EXPECT_EQ(readFormat({"215 fmt\r\nSubject:\r\n"}, error), 0);
    EXPECT_EQ(error, "Timed Out, server has not responded.");
}
