#include "net/text_helpers.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(CountLineBreaks, CountsPairsOnly) {
    EXPECT_EQ(countLineBreaks(""), 0u);
    EXPECT_EQ(countLineBreaks("a\r\nb\r\n"), 2u);
    EXPECT_EQ(countLineBreaks("\r\r\n\n"), 1u);
    EXPECT_EQ(countLineBreaks("\n\r"), 0u);
    EXPECT_EQ(countLineBreaks("\r\n\r\n\r\n"), 3u);
}

TEST(DropChar, SingleDisappearsDoubledLeavesOne) {
    struct Case {
        std::string in, out;
    } cases[] = {{"a\"b\"c", "abc"}, {"a\"\"b", "a\"b"}, {"\"", ""}, {"abc", "abc"}, {"x\"\"\"y", "x\"y"}};
    for (auto &c : cases) {
        std::string text = c.in;
        dropChar(text, '"');
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(GrowBuffer, KeepsPrefixAndZeroFills) {
    std::string text = "abcdef";
    ASSERT_EQ(growBuffer(text, 3, 5), 1);
    EXPECT_EQ(text, std::string("abc\0\0", 5));
    std::string empty;
    ASSERT_EQ(growBuffer(empty, 0, 4), 1);
    EXPECT_EQ(empty, std::string(4, '\0'));
}

TEST(ReplyCode, ReadsTheLeadingNumber) {
    EXPECT_EQ(replyCode("211 1 2 3 g\r\n"), 211);
    EXPECT_EQ(replyCode("502"), 502);
    EXPECT_EQ(replyCode(""), -1);
    EXPECT_EQ(replyCode("x00"), -1);
}
