#include "songs/name_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace corvane;

namespace {

// The reference: std::string compares bytes as unsigned values, a prefix first.
void expectByteOrder(const std::vector<std::string> &texts) {
    const std::vector<std::string_view> names(texts.begin(), texts.end());
    std::vector<std::string> ordered;
    for (std::size_t i : namesInByteOrder(names)) ordered.push_back(texts[i]);
    std::vector<std::string> expected = texts;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ordered, expected);
}

TEST(NamesInByteOrder, PrefixesZeroBytesAndHighBytes) {
    using namespace std::string_literals;
    expectByteOrder({"Song B ", "Song ", "", "zoo", "\xC3\xA9t\xC3\xA9", "Song \0"s, "Song \0\0\0\0\0\0\0\0\0"s,
                     "Song \0\0\0\0\0\0\0\0\x01"s, "12345678", "1234567", "123456789", "1234567812345678",
                     "12345678123456780", "Artist - A very long title that runs on (Live 1987) .mp3 ",
                     "Artist - A very long title that runs on (Live 1987) [320kbps].mp3 "});
}

// Names as posters write them: a few artists and titles, so many names share long prefixes.
TEST(NamesInByteOrder, ManyNamesWithLongCommonPrefixes) {
    std::mt19937 random(7);
    const std::vector<std::string> artists = {"The Autumn Drive", "Desert Radio", "Desert Radio Band", "\xC3\x89lan"};
    const std::vector<std::string> titles = {"Waiting For Spring", "Waiting", "Wait", std::string("W\0x", 3)};
    std::vector<std::string> texts;
    for (int i = 0; i < 5000; ++i) {
        std::string text = artists[random() % artists.size()] + " - " + titles[random() % titles.size()];
        text += " (" + std::to_string(1950 + random() % 60) + ")";
        if (random() % 3 == 0) text += " [" + std::to_string(random() % 400) + "kbps]";
        texts.push_back(text.substr(0, random() % 4 == 0 ? random() % (text.size() + 1) : text.size()));
    }
    expectByteOrder(texts);
}

}  // namespace
