// Articles of many parts and parts of unusual size: the cap on parts per article, a cancel
// between parts, and parts that outgrow their first room or a decoder's block.
#include <gtest/gtest.h>

#include "core/engine_settings.h"
#include "decode/article_decoder.h"
#include "decode/output_buffer.h"
#include "yenc_articles.h"

using namespace corvane;
using namespace harbeat::test;

namespace {

std::string tinyYencPart(int) { return "=ybegin line=128 size=3 name=tiny.mp3\r\nklm\r\n=yend size=3\r\n"; }
std::string tinyUuPart(int) { return "begin 644 tiny.mp3\r\n#86)C\r\n`\r\nend\r\n"; }
std::string tinyBase64Part(int) {
    return "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"tiny.mp3\"\r\n\r\n"
           "YWJj\r\n\r\n";
}
// Unnamed Base64 parts and quoted-printable parts without their boundary: each used to search
// the whole rest of the article.
std::string unnamedBase64Part(int) {
    return "Content-Transfer-Encoding: base64\r\nContent-Type: audio/mpeg\r\n\r\nYWJj\r\n\r\n";
}
std::string unendedQuotedPart(int) {
    return "Content-Transfer-Encoding: quoted-printable\r\nContent-Disposition: attachment; filename=\"q.mp3\"\r\n\r\n"
           "abc\r\n\r\n";
}

struct ManyPartsCase {
    const char *name;
    std::string (*part)(int);
};

void PrintTo(const ManyPartsCase &c, std::ostream *os) { *os << c.name; }

std::string articleOf(std::string (*part)(int), int parts) {
    std::string text = "From: poster@example.com\r\nSubject: many\r\n\r\n";
    for (int i = 0; i < parts; ++i) text += part(i);
    return text;
}

int decode(const std::string &text, DecodedFileList &list) { return decodeArticle(text.data(), text.size(), &list); }

class ManyParts : public testing::TestWithParam<ManyPartsCase> {
protected:
    void TearDown() override { setCancelRequested(false); }
};

TEST_P(ManyParts, AreDecodedUpToTheCapAndNoFurther) {
    DecodedFileList atCap, beyond;
    EXPECT_EQ(decode(articleOf(GetParam().part, kMaxPartsPerArticle), atCap), kArticleScanned);
    EXPECT_EQ(decode(articleOf(GetParam().part, kMaxPartsPerArticle + 1), beyond), kArticleTooManyParts);
}

TEST_P(ManyParts, CancelStopsBeforeTheNextPart) {
    setCancelRequested(true);
    DecodedFileList list;
    EXPECT_EQ(decode(articleOf(GetParam().part, 3), list), kArticleCancelled);
    EXPECT_TRUE(list.files.empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, ManyParts,
                         testing::Values(ManyPartsCase{"Yenc", tinyYencPart}, ManyPartsCase{"Uuencode", tinyUuPart},
                                         ManyPartsCase{"Base64", tinyBase64Part},
                                         ManyPartsCase{"UnnamedBase64", unnamedBase64Part},
                                         ManyPartsCase{"UnendedQuotedPrintable", unendedQuotedPart}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ManyParts, TheCapKeepsThePartsBeforeIt) {
    DecodedFileList list;
    ASSERT_EQ(decode(articleOf(tinyYencPart, kMaxPartsPerArticle + 5), list), kArticleTooManyParts);
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_EQ(list.files[0].yencParts.size(), static_cast<std::size_t>(kMaxPartsPerArticle));
}

std::string base64Of(const std::string &bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]),
                   c = static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[a >> 2];
        out += kAlphabet[(a & 3) << 4 | b >> 4];
        out += kAlphabet[(b & 15) << 2 | c >> 6];
        out += kAlphabet[c & 63];
    }
    return out;
}

// A payload bigger than the first room and a decoder's block, in one file of the article.
TEST(LargeParts, OutgrowTheirFirstRoomWhole) {
    const std::string payload = yencPayload(DecodedOutput::kFirstRoom / 3 * 3 + 3 * 12345, 7);
    struct {
        const char *name;
        std::string body;
    } cases[] = {
        // The whole file on one line: decoded a block at a time.
        {"Base64OneLine",
         "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; "
         "filename=\"big.mp3\"\r\n\r\n" +
             base64Of(payload) + "\r\n\r\n"},
        // Twice the same part: the second copy cannot go into the file's room and is decoded
        // into bytes of its own.
        {"YencSecondCopy", harbeat::yenc::encodeParts(payload, "big.mp3", 1, 128)[0] +
                               harbeat::yenc::encodeParts(payload, "big.mp3", 1, 128)[0]},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DecodedFileList list;
        ASSERT_EQ(decode("Subject: big\r\n\r\n" + c.body, list), kArticleScanned);
        joinDecodedParts(list);
        ASSERT_EQ(list.files.size(), 1u);
        EXPECT_TRUE(list.files[0].complete) << list.files[0].error;
        EXPECT_TRUE(list.files[0].content() == payload);
    }
}

}  // namespace
