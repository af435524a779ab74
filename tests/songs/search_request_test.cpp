#include "songs/search_request.h"

#include <gtest/gtest.h>

#include "songs/unavailable_list.h"

using namespace corvane;

namespace {

using Lines = std::vector<std::pair<std::string, std::string>>;

struct RequestCase {
    const char *name;
    std::string text;
    Lines lines;
};

void PrintTo(const RequestCase &c, std::ostream *os) { *os << c.name; }

Lines parse(const std::string &text, int expectedResult = 1) {
    std::vector<SearchRequestLine> parsed;
    EXPECT_EQ(parseSearchRequest(text, parsed), expectedResult);
    Lines lines;
    for (const auto &l : parsed) lines.emplace_back(l.newsgroup, l.category);
    return lines;
}

class ParseSearchRequest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(ParseSearchRequest, SplitsNewsgroupAndCategory) { EXPECT_EQ(parse(GetParam().text), GetParam().lines); }

INSTANTIATE_TEST_SUITE_P(
    Requests, ParseSearchRequest,
    ::testing::Values(
        RequestCase{"Empty", "", {}},
        RequestCase{"TwoLinesSameCategory",
                    "alt.binaries.sounds.mp3.jazz\tjazz\r\nalt.binaries.mp3.jazz\tjazz\r\n",
                    {{"alt.binaries.sounds.mp3.jazz", "jazz"}, {"alt.binaries.mp3.jazz", "jazz"}}},
        RequestCase{
            "LineWithoutTabSkipped", "a\tjazz\r\nno tab here\r\n\r\nb\trock\r\n", {{"a", "jazz"}, {"b", "rock"}}},
        RequestCase{"LastLineWithoutLineEnd", "a\tjazz\r\nb\theavy metal", {{"a", "jazz"}, {"b", "heavy metal"}}},
        RequestCase{"CategoryIsTheRestOfTheLine", "a\tx\ty\r\n", {{"a", "x\ty"}}},
        RequestCase{"EmptyCategory", "a\t\r\n", {{"a", ""}}},
        RequestCase{"LongTextsCut",
                    std::string(300, 'g') + "\t" + std::string(100, 'c') + "\r\n",
                    {{std::string(255, 'g'), std::string(63, 'c')}}}),
    [](const auto &info) { return std::string(info.param.name); });

std::string requestOf(int newsgroups) {
    std::string text;
    for (int i = 0; i < newsgroups; ++i) text += "group" + std::to_string(i) + "\tjazz\r\n";
    return text;
}

TEST(ParseSearchRequest, AtMost256Newsgroups) {
    EXPECT_EQ(parse(requestOf(256)).size(), 256u);
    EXPECT_TRUE(parse(requestOf(257), 0).empty());
    // Lines without a newsgroup do not count.
    EXPECT_EQ(parse(requestOf(256) + "junk\r\n\r\n").size(), 256u);
}

TEST(UnavailableList, CategoryOnceByPlainSubstringNewsgroupEveryTime) {
    std::string list;
    addUnavailableCategory(list, "hard rock");
    addUnavailableCategory(list, "hard rock");
    addUnavailableCategory(list, "rock");  // already contained in "hard rock"
    addUnavailableNewsgroup(list, "alt.binaries.a");
    addUnavailableNewsgroup(list, "alt.binaries.a");
    EXPECT_EQ(list, "hard rock\r\nalt.binaries.a\r\nalt.binaries.a\r\n");
}

TEST(UnavailableList, StopsGrowingAtItsCapacity) {
    std::string list;
    const std::string name(98, 'n');  // 100 characters with its CR LF
    for (int i = 0; i < 30; ++i) addUnavailableNewsgroup(list, name);
    EXPECT_EQ(list.size(), 2000u);
    addUnavailableNewsgroup(list, std::string(45, 's'));  // exactly fills 2,047
    EXPECT_EQ(list.size(), kUnavailableListCapacity);
    addUnavailableNewsgroup(list, "");
    EXPECT_EQ(list.size(), kUnavailableListCapacity);
    EXPECT_TRUE(list.ends_with("s\r\n"));
}

}  // namespace
