#include "songs/song_line.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

// A song whose message-ids are views into `ids`.
GroupedSong songWithIds(const std::vector<std::string> &ids) {
    GroupedSong song;
    song.title = "unused: the stripped title is passed apart";
    song.partCount = static_cast<int32_t>(ids.size());
    song.messageIds.assign(ids.begin(), ids.end());
    song.date = "Fri, 01 Mar 2024 00:00:00 +0000";
    return song;
}

TEST(FormatSongLine, ThreePartJazzSong) {
    std::string line;
    const std::vector<std::string> ids = {"<p1@x>", "<p2@x>", "<p3@x>"};
    ASSERT_EQ(formatSongLine(songWithIds(ids), "Miles - So What.mp3 ", "jazz", "alt.binaries.sounds.mp3", line), 1);
    EXPECT_EQ(line,
              "\tMiles - So What.mp3 \tjazz\tFri, 01 Mar 2024 00:00:00 +0000\talt.binaries.sounds.mp3\t3\t"
              "<p1@x>\f<p2@x>\f<p3@x>\f\r\n");
}

// Two ids whose list (each id plus its form feed) is `listLength` characters long.
std::vector<std::string> idsWithListLength(std::size_t listLength) {
    const std::size_t first = listLength / 2;
    return {"<" + std::string(first - 3, 'a') + ">", "<" + std::string(listLength - first - 3, 'b') + ">"};
}

TEST(FormatSongLine, MessageIdListUpToItsCapacity) {
    std::string line;
    const std::vector<std::string> ids = idsWithListLength(kMessageIdListCapacity);
    ASSERT_EQ(formatSongLine(songWithIds(ids), "T", "c", "g", line), 1);
    EXPECT_EQ(line.size(),
              std::string("\tT\tc\tFri, 01 Mar 2024 00:00:00 +0000\tg\t2\t\r\n").size() + kMessageIdListCapacity);
}

TEST(FormatSongLine, SongWhoseMessageIdsDoNotFitIsNotSent) {
    std::string line = "left over";
    const std::vector<std::string> ids = idsWithListLength(kMessageIdListCapacity + 1);
    EXPECT_EQ(formatSongLine(songWithIds(ids), "T", "c", "g", line), 0);
    EXPECT_TRUE(line.empty());
}

}  // namespace
