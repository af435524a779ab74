#include "songs/song_grouping.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct Part {
    std::string baseName;
    int32_t n;  // part number, 1-based as in the subject
    int32_t m;
    std::string messageId;
};

struct Song {
    std::string title;
    std::vector<std::string> messageIds;
    int32_t partCount;
    std::string date;
    bool operator==(const Song &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Song &s) {
    os << '"' << s.title << "\" " << s.partCount << " [";
    for (const auto &id : s.messageIds) os << id << ' ';
    return os << "] " << s.date;
}

struct GroupingCase {
    const char *name;
    std::vector<Part> parts;  // in arrival order
    std::vector<Song> songs;
};

void PrintTo(const GroupingCase &c, std::ostream *os) { *os << c.name; }

// Each part's date is its message-id with "date of " in front, so the test sees which part
// gave the song its date.
std::vector<Song> group(const std::vector<Part> &parts) {
    PartsTable table;
    for (const Part &p : parts) {
        const std::string date = "date of " + p.messageId;
        table.add({p.baseName, p.messageId, date, p.n - 1, p.m});
    }
    GroupedSongs grouped;
    const std::size_t made = groupSongs(table, grouped);
    EXPECT_EQ(made, grouped.songs.size());
    std::vector<Song> songs;
    for (const GroupedSong &g : grouped.songs) {
        const auto ids = grouped.messageIdsOf(g);
        songs.push_back(
            {std::string(g.title), std::vector<std::string>(ids.begin(), ids.end()), g.partCount, std::string(g.date)});
    }
    return songs;
}

class GroupSongs : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(GroupSongs, MakesOneSongPerCompleteRun) { EXPECT_EQ(group(GetParam().parts), GetParam().songs); }

const std::string kA = "Artist - Song.mp3 ";

INSTANTIATE_TEST_SUITE_P(
    Runs, GroupSongs,
    ::testing::Values(
        GroupingCase{"Complete",
                     {{kA, 1, 3, "<1>"}, {kA, 2, 3, "<2>"}, {kA, 3, 3, "<3>"}},
                     {{kA, {"<1>", "<2>", "<3>"}, 3, "date of <1>"}}},
        GroupingCase{"ArrivedOutOfOrder",
                     {{kA, 3, 3, "<3>"}, {kA, 1, 3, "<1>"}, {kA, 2, 3, "<2>"}},
                     {{kA, {"<1>", "<2>", "<3>"}, 3, "date of <1>"}}},
        // A part posted twice (a repost) counts once, by its first post.
        GroupingCase{"DuplicatePart",
                     {{kA, 1, 3, "<1>"}, {kA, 2, 3, "<2>"}, {kA, 2, 3, "<2b>"}, {kA, 3, 3, "<3>"}},
                     {{kA, {"<1>", "<2>", "<3>"}, 3, "date of <1>"}}},
        GroupingCase{"RepostArrivedFirst",
                     {{kA, 2, 3, "<2b>"}, {kA, 1, 3, "<1>"}, {kA, 3, 3, "<3>"}, {kA, 2, 3, "<2>"}},
                     {{kA, {"<1>", "<2b>", "<3>"}, 3, "date of <1>"}}},
        GroupingCase{"FirstPartPostedTwice",
                     {{kA, 1, 2, "<1>"}, {kA, 1, 2, "<1b>"}, {kA, 2, 2, "<2>"}},
                     {{kA, {"<1>", "<2>"}, 2, "date of <1>"}}},
        GroupingCase{"RepostDoesNotFillAGap", {{kA, 1, 3, "<1>"}, {kA, 3, 3, "<3>"}, {kA, 3, 3, "<3b>"}}, {}},
        GroupingCase{"Gap", {{kA, 1, 3, "<1>"}, {kA, 3, 3, "<3>"}}, {}},
        GroupingCase{"ExtraPartAfterTheRun",
                     {{kA, 1, 3, "<1>"}, {kA, 2, 3, "<2>"}, {kA, 3, 3, "<3>"}, {kA, 3, 3, "<3b>"}},
                     {{kA, {"<1>", "<2>", "<3>"}, 3, "date of <1>"}}},
        GroupingCase{"StartingAbovePartOne",
                     {{kA, 2, 3, "<2>"}, {kA, 3, 3, "<3>"}, {kA, 4, 3, "<4>"}},
                     {{kA, {"<2>", "<3>", "<4>"}, 3, "date of <2>"}}},
        GroupingCase{"LaterPartsMissing", {{kA, 2, 3, "<2>"}, {kA, 3, 3, "<3>"}}, {}},
        GroupingCase{"SinglePartSong", {{kA, 1, 1, "<1>"}}, {{kA, {"<1>"}, 1, "date of <1>"}}},
        GroupingCase{"CountOfLaterPartsNotCompared",
                     {{kA, 1, 2, "<1>"}, {kA, 2, 5, "<2>"}},
                     {{kA, {"<1>", "<2>"}, 2, "date of <1>"}}},
        // Two posters, byte-identical base names: their parts make one run.
        GroupingCase{"TwoPostersSameName",
                     {{kA, 1, 2, "<a1@poster1>"}, {kA, 2, 2, "<b2@poster2>"}},
                     {{kA, {"<a1@poster1>", "<b2@poster2>"}, 2, "date of <a1@poster1>"}}},
        GroupingCase{"CaseDiffersSoNoRun", {{"Song ", 1, 2, "<1>"}, {"song ", 2, 2, "<2>"}}, {}},
        GroupingCase{"CaseDiffersTwoSongs",
                     {{"song ", 1, 1, "<s>"}, {"Song ", 1, 1, "<S>"}},
                     {{"Song ", {"<S>"}, 1, "date of <S>"}, {"song ", {"<s>"}, 1, "date of <s>"}}},
        // Bytes compare as unsigned values: "é" (0xC3 0xA9) sorts after "z".
        GroupingCase{"UnsignedByteOrder",
                     {{"\xC3\xA9t\xC3\xA9 ", 1, 1, "<e>"}, {"zoo ", 1, 1, "<z>"}},
                     {{"zoo ", {"<z>"}, 1, "date of <z>"}, {"\xC3\xA9t\xC3\xA9 ", {"<e>"}, 1, "date of <e>"}}},
        GroupingCase{"PrefixSortsFirst",
                     {{"Song B ", 1, 1, "<long>"}, {"Song ", 1, 1, "<short>"}},
                     {{"Song ", {"<short>"}, 1, "date of <short>"}, {"Song B ", {"<long>"}, 1, "date of <long>"}}},
        // The first arrival wins among parts equal in name and number.
        GroupingCase{"EqualPartsKeepArrivalOrder",
                     {{kA, 1, 1, "<first>"}, {kA, 1, 1, "<second>"}},
                     {{kA, {"<first>"}, 1, "date of <first>"}}},
        GroupingCase{"IncompleteNameDoesNotBlockTheNext",
                     {{"A ", 1, 2, "<a1>"}, {"B ", 1, 2, "<b1>"}, {"B ", 2, 2, "<b2>"}},
                     {{"B ", {"<b1>", "<b2>"}, 2, "date of <b1>"}}},
        GroupingCase{"NothingToGroup", {}, {}}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
