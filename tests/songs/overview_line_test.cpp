#include "songs/overview_line.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// Subject 1, Date 3, Message-ID 4, Bytes 6, Lines 7: the usual "list overview.fmt" answer.
constexpr OverviewLayout kUsualLayout{1, 7, 4, 3, 6};
constexpr const char *kDate = "Fri, 01 Mar 2024 00:00:00 +0000";

std::string line(const std::string &subject, const std::string &messageId = "<p1@example>",
                 const std::string &bytes = "5000", const std::string &lines = "40") {
    return "1000\t" + subject + "\tposter@example.com\t" + kDate + "\t" + messageId + "\t\t" + bytes + "\t" + lines +
           "\tXref: news.example a.b.c:1000";
}

// An article of that size in the usual layout.
std::string sized(const std::string &subject, const std::string &bytes, const std::string &lines) {
    return line(subject, "<p1@example>", bytes, lines);
}

struct OverviewLineCase {
    const char *name;
    std::string line;
    OverviewLayout layout;
    int usable;
    std::string baseName;
    std::string messageId;
};

void PrintTo(const OverviewLineCase &c, std::ostream *os) { *os << c.name; }

class ParseOverviewLine : public ::testing::TestWithParam<OverviewLineCase> {};

TEST_P(ParseOverviewLine, KeepsPartNumberedArticles) {
    const OverviewLineCase &c = GetParam();
    OverviewEntry entry;
    ASSERT_EQ(parseOverviewLine(c.line, c.layout, entry), c.usable);
    if (!c.usable) return;
    EXPECT_EQ(entry.baseName, c.baseName);
    EXPECT_EQ(entry.messageId, c.messageId);
}

// Every other field holds brackets without a part number: taking the text behind the 32nd field
// into it would make the subject unusable.
std::string manyFields(int count, int subjectAt, const std::string &subject) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += '\t';
        text += i == subjectAt ? subject : i == 4 ? "<id@x>" : i == 3 ? kDate : "(f" + std::to_string(i) + ")";
    }
    return text;
}

const std::string kLongSubjectTail = " (1/2)";

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseOverviewLine,
    ::testing::Values(
        OverviewLineCase{"Usual", line("Artist - Song.mp3 (2/3)"), kUsualLayout, 1, "Artist - Song.mp3 ",
                         "<p1@example>"},
        // Names an .mp3 without a part number: a song of one article.
        OverviewLineCase{"NoPartNumber", line("Artist - Song.mp3"), kUsualLayout, 1, "Artist - Song.mp3",
                         "<p1@example>"},
        OverviewLineCase{"NoPartNumberNoMp3", line("Artist - Song"), kUsualLayout, 0, "", ""},
        // Without a part number only an article as large as a song counts: a text
        // request or reply is a few lines.
        OverviewLineCase{"TextRequest", sized("REQ: Anybody - Anything.mp3", "1200", "2"), kUsualLayout, 0, "", ""},
        OverviewLineCase{"JustBelowBothSizes", sized("Song.mp3", "1999", "19"), kUsualLayout, 0, "", ""},
        OverviewLineCase{"Bytes2000", sized("Song.mp3", "2000", "3"), kUsualLayout, 1, "Song.mp3", "<p1@example>"},
        OverviewLineCase{"Lines20", sized("Song.mp3", " 900 ", " 20 "), kUsualLayout, 1, "Song.mp3", "<p1@example>"},
        OverviewLineCase{"SizesNotNumbers", sized("Song.mp3", "5000x", "-40"), kUsualLayout, 0, "", ""},
        OverviewLineCase{"SmallYencPost", sized("\"Tiny.mp3\" yEnc", "900", "2"), kUsualLayout, 1, "\"Tiny.mp3\" yEnc",
                         "<p1@example>"},
        OverviewLineCase{"YencInsideAWordIsNot", sized("Ayenca.mp3", "900", "2"), kUsualLayout, 0, "", ""},
        OverviewLineCase{"SmallButNumbered", sized("Song.mp3 (1/1)", "900", "2"), kUsualLayout, 1, "Song.mp3 ",
                         "<p1@example>"},
        // A server that names neither size: only a yEnc subject tells a song.
        OverviewLineCase{"SizesUnknown", line("Song.mp3"), OverviewLayout{1, 0, 4, 3, 0}, 0, "", ""},
        OverviewLineCase{"SizesUnknownYenc", line("Song.mp3 yEnc"), OverviewLayout{1, 0, 4, 3, 0}, 1, "Song.mp3 yEnc",
                         "<p1@example>"},
        OverviewLineCase{"PartMarkerNotLast", line("Song.mp3 (1/3) [repost]"), kUsualLayout, 0, "", ""},
        OverviewLineCase{"SubjectOf1023Characters", line(std::string(1023 - 6, 's') + kLongSubjectTail), kUsualLayout,
                         1, std::string(1023 - 6, 's') + " ", "<p1@example>"},
        // The part number falls behind the 1,023 characters that are looked at.
        OverviewLineCase{"SubjectOf1024Characters", line(std::string(1024 - 6, 's') + kLongSubjectTail), kUsualLayout,
                         0, "", ""},
        OverviewLineCase{"Field32IsTheLast", manyFields(40, 31, "Song (1/2)"), OverviewLayout{31, 0, 4, 3}, 1, "Song ",
                         "<id@x>"},
        OverviewLineCase{"FieldsAfterThe32ndIgnored", manyFields(40, 32, "Song (1/2)"), OverviewLayout{32, 0, 4, 3}, 0,
                         "", ""},
        OverviewLineCase{"ShortLineLacksDate", "1000\tSong (1/2)\tposter", kUsualLayout, 0, "", ""},
        OverviewLineCase{"EmptyMessageId", line("Song (1/2)", ""), kUsualLayout, 0, "", ""},
        OverviewLineCase{"LayoutNotLearned", line("Song (1/2)"), OverviewLayout{}, 0, "", ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ParseOverviewLine, KeepsPartNumbersAndDateAsReceived) {
    const std::string text = line("Song [4/12]", "<x.y@z>");
    OverviewEntry entry;  // views into `text`
    ASSERT_EQ(parseOverviewLine(text, kUsualLayout, entry), 1);
    EXPECT_EQ(entry.partIndex, 3);
    EXPECT_EQ(entry.partCount, 12);
    EXPECT_EQ(entry.date, kDate);
    EXPECT_EQ(entry.messageId, "<x.y@z>");
}

}  // namespace
