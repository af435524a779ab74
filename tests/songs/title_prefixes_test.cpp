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

const auto kStripCases = ::testing::Values(TitleCase{"RequestAndNew", "REQ: new: Song.mp3 ", "Song.mp3 "},
                                           TitleCase{"ReBitesIntoWords", "Red Hot - Song", "d Hot - Song"},
                                           TitleCase{"FillBitesIntoWords", "Fillmore", "more"},
                                           // "repost" and the blank come after "[repost]" in the table: a second pass
                                           // is needed to reach it.
                                           TitleCase{"EarlierEntryNeedsSecondPass", "Repost: [REPOST] Song", "Song"},
                                           TitleCase{"OneExclamationMarkPerPass", "!!! Song", "Song"},
                                           TitleCase{"LongerPhraseFirst", "Filling Requests - Song", "Song"},
                                           TitleCase{"OnlyTheFrontChanges", "Song - req: new", "Song - req: new"},
                                           TitleCase{"NothingToStrip", "Artist - Song.mp3", "Artist - Song.mp3"},
                                           TitleCase{"EverythingStripped", "Re: ", ""}, TitleCase{"Empty", "", ""});

INSTANTIATE_TEST_SUITE_P(Titles, StripTitlePrefixes, kStripCases,
                         [](const auto &info) { return std::string(info.param.name); });

class CleanSongTitle : public ::testing::TestWithParam<TitleCase> {};

TEST_P(CleanSongTitle, ListsTheFileNameOfYencPosts) {
    std::string title = GetParam().title;
    cleanSongTitle(title);
    EXPECT_EQ(title, GetParam().stripped);
}

// Titles without the word yEnc come out exactly as stripTitlePrefixes leaves them.
INSTANTIATE_TEST_SUITE_P(TitlesWithoutYenc, CleanSongTitle, kStripCases,
                         [](const auto &info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    YencTitles, CleanSongTitle,
    ::testing::Values(TitleCase{"Quoted", "\"Artist - Title.mp3\" yEnc ", "Artist - Title.mp3"},
                      TitleCase{"SetCounter", "[1/3] - \"name.mp3\" yEnc ", "name.mp3"},
                      TitleCase{"OneArticleWithSize", "\"Artist - Title.mp3\" yEnc 123456", "Artist - Title.mp3"},
                      TitleCase{"PrefixBeforeTheQuotes", "REQ: \"Red Hot - Song.mp3\" yEnc ", "Red Hot - Song.mp3"},
                      TitleCase{"Unquoted", "Artist - Title.mp3 yEnc ", "Artist - Title.mp3"},
                      TitleCase{"LowerCaseWord", "\"song.mp3\" yenc ", "song.mp3"},
                      TitleCase{"EmptyQuotes", "\"\" Song.mp3 yEnc ", "\"\" Song.mp3"},
                      TitleCase{"OnlyTheWord", "yEnc ", "yEnc "},
                      TitleCase{"NotAWord", "\"Songs\" of yEncore ", "\"Songs\" of yEncore "},
                      TitleCase{"QuotesWithoutYenc", "Song \"Live\" ", "Song \"Live\" "}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
