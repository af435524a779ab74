// Storing decoded parts in a song's file list, and joining them.
#include "decode/decoded_files.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

DecodeState firstPart(const std::string &name, const std::string &base, int32_t count, const std::string &bytes) {
    DecodeState state;
    state.fileName = name;
    state.baseName = base;
    state.partCount = count;
    state.bytes = bytes;
    return state;
}

DecodeState laterPart(const std::string &base, int32_t index, int32_t count, const std::string &bytes) {
    DecodeState state;
    state.continuation = 1;
    state.baseName = base;
    state.partIndex = index;
    state.partCount = count;
    state.bytes = bytes;
    return state;
}

struct JoinCase {
    const char *name;
    int32_t partCount;
    std::vector<int32_t> presentIndexes;  // parts stored, besides part 0
    std::string bytes;
    bool complete;
};

class Join : public testing::TestWithParam<JoinCase> {};

}  // namespace

TEST(AddDecodedPart, TenthFileOfASongIsRefused) {
    DecodedFileList list;
    for (int i = 0; i < 9; ++i) {
        DecodeState state = firstPart("f" + std::to_string(i), "b" + std::to_string(i), 0, "x");
        ASSERT_EQ(addDecodedPart(list, state), kPartStored);
    }
    DecodeState tenth = firstPart("f9", "b9", 0, "x");
    EXPECT_EQ(addDecodedPart(list, tenth), kPartListFull);
    EXPECT_EQ(list.files.size(), 9u);
}

TEST(AddDecodedPart, PartsBeyondTwoHundredAreDropped) {
    DecodedFileList list;
    DecodeState first = firstPart("a", "base", 250, "1");
    ASSERT_EQ(addDecodedPart(list, first), kPartStored);
    DecodeState index200 = laterPart("base", 200, 200, "x");
    EXPECT_EQ(addDecodedPart(list, index200), kPartOutOfRange);
    DecodeState count201 = laterPart("base", 1, 201, "x");
    EXPECT_EQ(addDecodedPart(list, count201), kPartOutOfRange);
    joinDecodedParts(list);
    EXPECT_FALSE(list.files[0].complete);
    EXPECT_EQ(list.files[0].content(), "1");
}

TEST_P(Join, Completeness) {
    const JoinCase &c = GetParam();
    DecodedFileList list;
    DecodeState first = firstPart("a", "base", c.partCount, "0");
    addDecodedPart(list, first);
    for (int32_t index : c.presentIndexes) {
        DecodeState part = laterPart("base", index, c.partCount, std::to_string(index));
        ASSERT_EQ(addDecodedPart(list, part), kPartStored);
    }
    joinDecodedParts(list);
    EXPECT_EQ(list.files[0].content(), c.bytes);
    EXPECT_EQ(list.files[0].complete, c.complete);
}

INSTANTIATE_TEST_SUITE_P(Cases, Join,
                         testing::Values(JoinCase{"NoPartNumber", 0, {}, "0", true},
                                         JoinCase{"SinglePart", 1, {}, "0", true},
                                         JoinCase{"AllThreeInOrder", 3, {1, 2}, "012", true},
                                         JoinCase{"ArrivedOutOfOrder", 3, {2, 1}, "012", true},
                                         JoinCase{"MiddleMissingNoGap", 3, {2}, "02", false},
                                         JoinCase{"LastMissing", 3, {1}, "01", false},
                                         JoinCase{"PartBeyondCountIgnored", 2, {1, 4}, "01", true},
                                         JoinCase{"TwoHundredParts", 200, {199}, "0199", false}),
                         [](const testing::TestParamInfo<JoinCase> &info) { return std::string(info.param.name); });
