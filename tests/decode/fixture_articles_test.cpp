// Whole articles made by real encoders decode to exactly the bytes that were encoded.
#include <gtest/gtest.h>

#include <cctype>

#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "fixture_data.h"

using namespace corvane;
using harbeat::test::dotStuffed;
using harbeat::test::fixture;

namespace {

struct FixtureCase {
    std::string article;
    std::string payload;
    std::string fileName;
    int32_t encoding;
};

std::string caseName(const testing::TestParamInfo<FixtureCase> &info) {
    std::string name = info.param.article;
    for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

std::vector<FixtureCase> singlePartCases() {
    std::vector<FixtureCase> cases;
    for (const char *size : {"1", "44", "45", "59", "45014"}) {
        const std::string s(size);
        cases.push_back({"uu_" + s + ".article", "payload_" + s + ".bin", "song_" + s + ".mp3", kEncodingUuencode});
        cases.push_back({"mime_" + s + ".article", "payload_" + s + ".bin", "song_" + s + ".mp3", kEncodingBase64});
    }
    return cases;
}

class SinglePartArticle : public testing::TestWithParam<FixtureCase> {};

DecodedFileList decodeAll(const std::vector<std::string> &articles) {
    DecodedFileList list;
    for (const std::string &text : articles) EXPECT_EQ(decodeArticle(text.data(), text.size(), &list), 0);
    joinDecodedParts(list);
    return list;
}

}  // namespace

TEST_P(SinglePartArticle, DecodesToThePayloadUnderItsName) {
    const FixtureCase &c = GetParam();
    const DecodedFileList list = decodeAll({fixture(c.article)});
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_EQ(list.files[0].fileName, c.fileName);
    EXPECT_EQ(list.files[0].encoding, c.encoding);
    EXPECT_EQ(list.files[0].partCount, 0);
    EXPECT_TRUE(list.files[0].complete);
    EXPECT_EQ(list.files[0].content(), fixture(c.payload));
}

// The server's dot-stuffing, undone before decoding, changes nothing; left in place it would
// corrupt the 14-byte uuencoded line that starts with ".".
TEST_P(SinglePartArticle, SurvivesTheServersDotStuffing) {
    const FixtureCase &c = GetParam();
    std::string received = dotStuffed(fixture(c.article));
    undoDotStuffing(received);
    const DecodedFileList list = decodeAll({received});
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_EQ(list.files[0].content(), fixture(c.payload));
}

INSTANTIATE_TEST_SUITE_P(RealEncoders, SinglePartArticle, testing::ValuesIn(singlePartCases()), caseName);

TEST(MultiPartArticles, PartsJoinInOrderIntoOneCompleteFile) {
    const DecodedFileList two = decodeAll({fixture("uu_song2_article1.article"), fixture("uu_song2_article2.article")});
    ASSERT_EQ(two.files.size(), 1u);
    EXPECT_EQ(two.files[0].fileName, "song2.mp3");
    EXPECT_EQ(two.files[0].partCount, 2);
    EXPECT_TRUE(two.files[0].complete);
    EXPECT_EQ(two.files[0].content(), fixture("payload_song2.bin"));

    const DecodedFileList three = decodeAll(
        {fixture("uu_song3_article1.article"), fixture("uu_song3_article2.article"), fixture("uu_song3_article3.article")});
    ASSERT_EQ(three.files.size(), 1u);
    EXPECT_TRUE(three.files[0].complete);
    EXPECT_EQ(three.files[0].content(), fixture("payload_song3.bin"));
}

TEST(MultiPartArticles, FirstArticleAloneGivesAnIncompleteFileOfItsBytes) {
    const std::string payload = fixture("payload_song3.bin");
    const DecodedFileList list = decodeAll({fixture("uu_song3_article1.article")});
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_FALSE(list.files[0].complete);
    EXPECT_EQ(list.files[0].content(), payload.substr(0, 40 * 45));
}

TEST(MultiPartArticles, LaterPartWithoutItsFirstPartIsDropped) {
    const DecodedFileList list = decodeAll({fixture("uu_song3_article2.article")});
    EXPECT_TRUE(list.files.empty());
}

TEST(BeginLine, ModeBelow600IsNotABeginLine) {
    const DecodedFileList list = decodeAll({fixture("uu_mode444.article")});
    EXPECT_TRUE(list.files.empty());
}

TEST(DecodeArticle, MissingTextOrListIsRefused) {
    DecodedFileList list;
    EXPECT_EQ(decodeArticle(nullptr, 0, &list), kArticleMissing);
    EXPECT_EQ(decodeArticle("x\r\n", 3, nullptr), kArticleMissing);
}
