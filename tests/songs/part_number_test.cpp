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

TEST(FindLastOf, FindsTheLastCharacterOfTheSet) {
    EXPECT_EQ(findLastOf("a(b)c[d]e", ")]"), 7u);
    EXPECT_EQ(findLastOf("a(b)c[d]e", "(["), 5u);
    EXPECT_EQ(findLastOf("abc", ")]"), std::string_view::npos);
    EXPECT_EQ(findLastOf("", ")]"), std::string_view::npos);
}

}  // namespace
