#include "songs/part_number.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

constexpr const char *kUntouched = "<untouched>";

struct PartNumberCase {
    const char *name;
    std::string subject;
    int result;            // the returned part index, or -1
    std::string baseName;  // as left behind, also after a failed check
    int32_t partIndex;     // only checked when usable
    int32_t partCount;
};

void PrintTo(const PartNumberCase &c, std::ostream *os) { *os << c.name; }

class ParsePartNumber : public ::testing::TestWithParam<PartNumberCase> {};

TEST_P(ParsePartNumber, ReadsTheLastBracketPair) {
    const PartNumberCase &c = GetParam();
    std::string baseName = kUntouched;
    int32_t partIndex = -99;
    int32_t partCount = -99;
    EXPECT_EQ(parsePartNumber(c.subject, baseName, partIndex, partCount), c.result);
    EXPECT_EQ(baseName, c.baseName);
    if (c.result >= 0) {
        EXPECT_EQ(partIndex, c.partIndex);
        EXPECT_EQ(partCount, c.partCount);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, ParsePartNumber,
    ::testing::Values(PartNumberCase{"RoundBrackets", "Artist - Title.mp3 (1/3)", 0, "Artist - Title.mp3 ", 0, 3},
                      PartNumberCase{"SquareBracketsTextBehind", "Best Of (Live) [2/5] posted", 1, "Best Of (Live) ", 1,
                                     5},
                      PartNumberCase{"RoundOpenSquareClose", "Song (3/7]", 2, "Song ", 2, 7},
                      PartNumberCase{"SquareOpenRoundClose", "Song [3/7)", 2, "Song ", 2, 7},
                      PartNumberCase{"LeadingZeros", "Song (01/10)", 0, "Song ", 0, 10},
                      PartNumberCase{"BlanksAroundNumbers", "Song ( 2 / 4 )", 1, "Song ", 1, 4},
                      PartNumberCase{"DigitsEndAtFirstNonDigit", "Song (2of/5 parts)", 1, "Song ", 1, 5},
                      PartNumberCase{"BracketFirstInSubject", "(1/1)", 0, "", 0, 1},
                      PartNumberCase{"LastBracketsHoldNoSlash", "Title (1/3) [repost]", -1, "Title (1/3) ", 0, 0},
                      PartNumberCase{"NoSlash", "Song (1 of 3)", -1, "Song ", 0, 0},
                      PartNumberCase{"SlashBehindClosingBracket", "Song (1) 2/3", -1, "Song ", 0, 0},
                      PartNumberCase{"OpeningBracketBehindClosing", "Song (1/3) (", -1, "Song (1/3) ", 0, 0},
                      PartNumberCase{"PartZero", "Song (0/3)", -1, "Song ", 0, 0},
                      PartNumberCase{"CountZero", "Song (1/0)", -1, "Song ", 0, 0},
                      PartNumberCase{"NoNumbers", "Song (/)", -1, "Song ", 0, 0},
                      PartNumberCase{"NegativeCount", "Song (1/-3)", -1, "Song ", 0, 0},
                      PartNumberCase{"NegativePart", "Song (-1/3)", -1, "Song ", 0, 0},
                      PartNumberCase{"NoClosingBracket", "Song (1/3", -1, kUntouched, 0, 0},
                      PartNumberCase{"NoOpeningBracket", "Song 1/3)", -1, kUntouched, 0, 0},
                      PartNumberCase{"Empty", "", -1, kUntouched, 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParsePartNumber, CutsTheBaseNameToItsCapacity) {
    std::string baseName;
    int32_t partIndex = 0;
    int32_t partCount = 0;
    const std::string subject = std::string(2000, 'x') + " (2/2)";
    EXPECT_EQ(parsePartNumber(subject, baseName, partIndex, partCount), 1);
    EXPECT_EQ(baseName, std::string(kBaseNameCapacity, 'x'));
}

// The song search's reading: yEnc subjects as posters write them, and one-article songs.
class ParseSongSubject : public ::testing::TestWithParam<PartNumberCase> {};

TEST_P(ParseSongSubject, ReadsPartsAndOneArticleSongs) {
    const PartNumberCase &c = GetParam();
    std::string_view baseName = kUntouched;
    int32_t partIndex = -99;
    int32_t partCount = -99;
    EXPECT_EQ(parseSongSubject(c.subject, baseName, partIndex, partCount), c.result);
    if (c.result < 0) return;
    EXPECT_EQ(baseName, c.baseName);
    EXPECT_EQ(partIndex, c.partIndex);
    EXPECT_EQ(partCount, c.partCount);
}

INSTANTIATE_TEST_SUITE_P(
    Subjects, ParseSongSubject,
    ::testing::Values(
        PartNumberCase{"QuotedYenc", "\"Artist - Title.mp3\" yEnc (1/15)", 0, "\"Artist - Title.mp3\" yEnc ", 0, 15},
        PartNumberCase{"SetCounterAndSize", "[1/3] - \"name.mp3\" yEnc (01/15) 123456", 0, "[1/3] - \"name.mp3\" yEnc ",
                       0, 15},
        PartNumberCase{"LaterPartWithSize", "[1/3] - \"name.mp3\" yEnc (15/15) 123456", 14,
                       "[1/3] - \"name.mp3\" yEnc ", 14, 15},
        PartNumberCase{"YencBehindThePart", "name.mp3 (1/3) yEnc", 0, "name.mp3 ", 0, 3},
        PartNumberCase{"UsualPart", "Artist - Title.mp3 (2/3)", 1, "Artist - Title.mp3 ", 1, 3},
        PartNumberCase{"OneArticleSong", "Artist - Title.mp3", 0, "Artist - Title.mp3", 0, 1},
        PartNumberCase{"OneArticleYencSong", "\"Artist - Title.mp3\" yEnc", 0, "\"Artist - Title.mp3\" yEnc", 0, 1},
        PartNumberCase{"UpperCaseExtension", "Artist - Title.MP3", 0, "Artist - Title.MP3", 0, 1},
        PartNumberCase{"BracketsWithoutPartNumber", "Best Of (Live).mp3", 0, "Best Of (Live).mp3", 0, 1},
        // A part marker that is not the last bracket pair: a part of something larger, as before.
        PartNumberCase{"MarkerBeforeOtherBrackets", "Title.mp3 (1/3) [repost]", -1, "", 0, 0},
        PartNumberCase{"MarkerWithBlanks", "Title.mp3 [ 2 / 3 ] (live)", -1, "", 0, 0},
        PartNumberCase{"MarkerInWords", "Title.mp3 (1 of 3)", -1, "", 0, 0},
        PartNumberCase{"NumbersWithoutMarker", "Title (1999) [2 discs].mp3", 0, "Title (1999) [2 discs].mp3", 0, 1},
        PartNumberCase{"NoMp3", "Artist - Title", -1, "", 0, 0}, PartNumberCase{"OtherFile", "cover.jpg", -1, "", 0, 0},
        PartNumberCase{"Mp3NotAnExtension", "talk about .mp 3 players", -1, "", 0, 0},
        PartNumberCase{"Empty", "", -1, "", 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParseSongSubject, CutsAOneArticleBaseNameToItsCapacity) {
    std::string_view baseName;
    int32_t partIndex = 0;
    int32_t partCount = 0;
    const std::string subject = std::string(2000, 'x') + ".mp3";
    EXPECT_EQ(parseSongSubject(subject, baseName, partIndex, partCount), 0);
    EXPECT_EQ(baseName, std::string(kBaseNameCapacity, 'x'));
}

TEST(FindLastOf, FindsTheLastCharacterOfTheSet) {
    EXPECT_EQ(findLastOf("a(b)c[d]e", ")]"), 7u);
    EXPECT_EQ(findLastOf("a(b)c[d]e", "(["), 5u);
    EXPECT_EQ(findLastOf("abc", ")]"), std::string_view::npos);
    EXPECT_EQ(findLastOf("", ")]"), std::string_view::npos);
}

}  // namespace
