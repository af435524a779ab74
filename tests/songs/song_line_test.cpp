#include "songs/song_line.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

constexpr const char *kDate = "Fri, 01 Mar 2024 00:00:00 +0000";

std::string songLine(const std::vector<std::string_view> &ids, int expectedResult = 1) {
    std::string line = "left over";
    EXPECT_EQ(formatSongLine("T", "c", kDate, "g", static_cast<int32_t>(ids.size()), ids, line), expectedResult);
    return line;
}

TEST(FormatSongLine, ThreePartJazzSong) {
    const std::vector<std::string_view> ids = {"<p1@x>", "<p2@x>", "<p3@x>"};
    std::string line;
    ASSERT_EQ(formatSongLine("Miles - So What.mp3 ", "jazz", kDate, "alt.binaries.sounds.mp3", 3, ids, line), 1);
    EXPECT_EQ(line,
              "\tMiles - So What.mp3 \tjazz\tFri, 01 Mar 2024 00:00:00 +0000\talt.binaries.sounds.mp3\t3\t"
              "<p1@x>\f<p2@x>\f<p3@x>\f\r\n");
}

// Two ids whose list (each id plus its form feed) is exactly the capacity, then one character more.
TEST(FormatSongLine, MessageIdListUpToItsCapacity) {
    const std::string a = "<" + std::string(kMessageIdListCapacity / 2 - 3, 'a') + ">";
    const std::string b = "<" + std::string(kMessageIdListCapacity - kMessageIdListCapacity / 2 - 3, 'b') + ">";
    const std::string line = songLine({a, b});
    EXPECT_EQ(line.size(), std::string("\tT\tc\t").size() + std::string(kDate).size() +
                               std::string("\tg\t2\t\r\n").size() + kMessageIdListCapacity);

    const std::string longer = b.substr(0, b.size() - 1) + "b>";
    EXPECT_EQ(songLine({a, longer}, 0), "");  // not sent at all
}

// A NUL, tab, form feed or line end from the server would cut the report, split a field or a
// message-id, or end the line early: each arrives as a blank.
TEST(FormatSongLine, ControlCharactersBecomeBlanks) {
    const std::string title("A\0B\tC\fD\rE\nF\x7f.mp3", 16);
    const std::string id("<a\r\nQUIT\f@x>", 12);
    const std::vector<std::string_view> ids = {id};
    std::string line;
    ASSERT_EQ(formatSongLine(title, "jazz", std::string("Fri\0", 4), std::string("g\x01", 2), 1, ids, line), 1);
    EXPECT_EQ(line, "\tA B C D E F .mp3\tjazz\tFri \tg \t1\t<a  QUIT @x>\f\r\n");
}

// Control characters are looked for several bytes at a time: every position in a longer text,
// and the bytes on either side of the control range, give what a byte-by-byte replacement gives.
TEST(FormatSongLine, EveryControlCharacterAtEveryPosition) {
    for (const unsigned char c : {0x00, 0x01, 0x09, 0x1F, 0x20, 0x7E, 0x7F, 0x80, 0x9F, 0xA0, 0xFF}) {
        for (std::size_t at = 0; at < 40; ++at) {
            std::string title(40, 'x');
            title[at] = static_cast<char>(c);
            std::string expected = title;
            if (c < 0x20 || c == 0x7F) expected[at] = ' ';
            const std::vector<std::string_view> ids = {title};
            std::string line;
            ASSERT_EQ(formatSongLine(title, "c", "d", "g", 1, ids, line), 1);
            EXPECT_EQ(line, "\t" + expected + "\tc\td\tg\t1\t" + expected + "\f\r\n") << int(c) << " at " << at;
        }
    }
}

}  // namespace
