// Undoing the server's dot-stuffing: only a doubled dot at a line start loses one dot.
#include "decode/dot_stuffing.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

struct StuffingCase {
    const char *name;
    std::string received;
    std::string unstuffed;
};

class UndoDotStuffing : public testing::TestWithParam<StuffingCase> {};

}  // namespace

TEST_P(UndoDotStuffing, Lines) {
    std::string text = GetParam().received;
    undoDotStuffing(text);
    EXPECT_EQ(text, GetParam().unstuffed);
}

INSTANTIATE_TEST_SUITE_P(Cases, UndoDotStuffing,
                         testing::Values(StuffingCase{"FirstLine", "..R'Q\r\nx\r\n", ".R'Q\r\nx\r\n"},
                                         StuffingCase{"LaterLines", "a\r\n..b\r\n...\r\n", "a\r\n.b\r\n..\r\n"},
                                         StuffingCase{"SingleDotStays", ".a\r\n", ".a\r\n"},
                                         StuffingCase{"DotsInsideALineStay", "a..b\r\n", "a..b\r\n"},
                                         StuffingCase{"BareLineFeedIsNoLineStart", "a\n..b\r\n", "a\n..b\r\n"},
                                         StuffingCase{"LastLineWithoutCrLf", "a\r\n..", "a\r\n."},
                                         StuffingCase{"Empty", "", ""}),
                         [](const testing::TestParamInfo<StuffingCase> &info) { return std::string(info.param.name); });
