#include "songs/title_prefixes.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct TitleCase {
    const char *name;
    std::string title;
    std::string stripped;
};

void PrintTo(const TitleCase &c, std::ostream *os) { *os << c.name; }

class StripTitlePrefixes : public ::testing::TestWithParam<TitleCase> {};

TEST_P(StripTitlePrefixes, CutsKnownWordsFromTheFront) {
    std::string title = GetParam().title;
    stripTitlePrefixes(title);
    EXPECT_EQ(title, GetParam().stripped);
}

INSTANTIATE_TEST_SUITE_P(Titles, StripTitlePrefixes,
                         ::testing::Values(TitleCase{"RequestAndNew", "REQ: new: Song.mp3 ", "Song.mp3 "},
                                           TitleCase{"ReBitesIntoWords", "Red Hot - Song", "d Hot - Song"},
                                           TitleCase{"FillBitesIntoWords", "Fillmore", "more"},
                                           // "repost" and the blank come after "[repost]" in the table: a second pass
                                           // is needed to reach it.
                                           TitleCase{"EarlierEntryNeedsSecondPass", "Repost: [REPOST] Song", "Song"},
                                           TitleCase{"OneExclamationMarkPerPass", "!!! Song", "Song"},
                                           TitleCase{"LongerPhraseFirst", "Filling Requests - Song", "Song"},
                                           TitleCase{"OnlyTheFrontChanges", "Song - req: new", "Song - req: new"},
                                           TitleCase{"NothingToStrip", "Artist - Song.mp3", "Artist - Song.mp3"},
                                           TitleCase{"EverythingStripped", "Re: ", ""}, TitleCase{"Empty", "", ""}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
