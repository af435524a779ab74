// The listing of a group whose posts are as people post today: yEnc subjects, reposted parts and
// songs of one article, among posts that were listed (or not) before and still are (or are not),
// and a text request that names an .mp3.
#include <gtest/gtest.h>

#include "search_test_support.h"

using namespace harbeat::test;

namespace {

std::string songLine(const std::string &title, int parts, const std::string &ids) {
    return "\t" + title + "\tassorted\t" + std::string(kPostDate) + "\talt.binaries.sounds.mp3\t" +
           std::to_string(parts) + "\t" + ids + "\r\n";
}

TEST_F(SongSearchTest, YencRepostedAndOneArticleSongsAreListed) {
    ScriptedPeer peer;
    peer.send("200 news.example ready\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 14 100 113 alt.binaries.sounds.mp3\r\n")
        .expect("group alt.binaries.sounds.mp3\r\n")
        .send("211 14 100 113 alt.binaries.sounds.mp3\r\n")
        .expect("xover 100-113\r\n")
        .send(overviewReply(
            {overviewLine(100, "\"Artist - Title.mp3\" yEnc (1/2)", "<y1>"),
             overviewLine(101, "[1/3] - \"name.mp3\" yEnc (02/02) 123456", "<n2>"),
             overviewLine(102, "\"Artist - Title.mp3\" yEnc (2/2)", "<y2>"),
             overviewLine(103, "[1/3] - \"name.mp3\" yEnc (01/02) 123456", "<n1>"),
             overviewLine(104, "tune.mp3 (1/2) yEnc", "<t1>"), overviewLine(105, "tune.mp3 (2/2) yEnc", "<t2>"),
             overviewLine(106, "Blue - Song.mp3 (1/2)", "<b1>"), overviewLine(107, "Blue - Song.mp3 (2/2)", "<b2>"),
             overviewLine(108, "Blue - Song.mp3 (2/2)", "<b2-repost>"), overviewLine(109, "Single - Song.mp3", "<s>"),
             overviewLine(110, "\"Single - Yenc.mp3\" yEnc", "<sy>", kPostDate, 900, 3),
             overviewLine(111, "just chatting", "<c>"), overviewLine(112, "Incomplete.mp3 (1/2)", "<i>"),
             // A two-line request names an .mp3 too, but is far too small to be one.
             overviewLine(113, "REQ: Anybody - Anything.mp3", "<req>", kPostDate, 1100, 2)}))
        .expect("QUIT\r\n")
        .send("205 bye\r\n");
    search(peer, "alt.binaries.sounds.mp3\tassorted\r\n");

    // In the byte order of the base names: '"' before capitals before '[' before small letters.
    EXPECT_EQ(textsOf(ReportRecorder::reports(), kNotifySong),
              (std::vector<std::string>{
                  songLine("Artist - Title.mp3", 2, "<y1>\f<y2>\f"), songLine("Single - Yenc.mp3", 1, "<sy>\f"),
                  songLine("Blue - Song.mp3 ", 2, "<b1>\f<b2>\f"), songLine("Single - Song.mp3", 1, "<s>\f"),
                  songLine("name.mp3", 2, "<n1>\f<n2>\f"), songLine("tune.mp3 ", 2, "<t1>\f<t2>\f")}));
}

}  // namespace
