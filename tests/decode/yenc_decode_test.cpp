// yEnc parts decoded from whole articles: files put together by their =ypart ranges whatever
// order the articles come in, and every kind of damage reported with a clear text.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "fixture_data.h"
#include "yenc_articles.h"

using namespace corvane;
using namespace harbeat::test;

namespace {

// Decodes the articles as a download does: dot-stuffed by the server, unstuffed, decoded, joined.
DecodedFileList decodeArticles(const std::vector<std::string> &articles) {
    DecodedFileList list;
    for (const std::string &article : articles) {
        std::string text = dotStuffed(article);
        undoDotStuffing(text);
        EXPECT_EQ(decodeArticle(text.data(), text.size(), &list), kArticleScanned);
    }
    joinDecodedParts(list);
    return list;
}

struct RoundTripCase {
    const char *label;
    std::size_t size;
    int parts;
    int lineLength;
    std::vector<int> order;  // article order, 0-based; empty: as posted
};

void PrintTo(const RoundTripCase &c, std::ostream *out) { *out << c.label; }

class YencRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(YencRoundTrip, FileIsByteIdentical) {
    const RoundTripCase &c = GetParam();
    const std::string file = yencPayload(c.size, static_cast<std::uint32_t>(c.size + c.parts));
    std::vector<std::string> articles = yencSong(file, "Artist - Title.mp3", c.parts, "rt", c.lineLength);
    if (!c.order.empty()) {
        std::vector<std::string> reordered;
        for (int i : c.order) reordered.push_back(articles[static_cast<std::size_t>(i)]);
        articles = reordered;
    }
    const DecodedFileList list = decodeArticles(articles);
    ASSERT_EQ(list.files.size(), 1u);
    const DecodedFile &decoded = list.files[0];
    EXPECT_EQ(decoded.error, "");
    EXPECT_EQ(decoded.missing, "");
    EXPECT_TRUE(decoded.complete);
    EXPECT_EQ(decoded.fileName, "Artist - Title.mp3");
    EXPECT_EQ(decoded.encoding, kEncodingYenc);
    EXPECT_TRUE(decoded.content() == file) << "sizes " << decoded.content().size() << " and " << file.size();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YencRoundTrip,
    testing::Values(RoundTripCase{"Empty", 0, 1, 128, {}}, RoundTripCase{"OneByte", 1, 1, 128, {}},
                    RoundTripCase{"OneLine", 128, 1, 128, {}}, RoundTripCase{"LineAndOne", 129, 1, 128, {}},
                    RoundTripCase{"ShortLines", 5000, 1, 2, {}}, RoundTripCase{"OddLines", 5000, 1, 61, {}},
                    RoundTripCase{"OneHugeLine", 300000, 1, 997, {}},
                    RoundTripCase{"LongerThanAnyBuffer", 70000, 1, 65536, {}},
                    RoundTripCase{"ThreeParts", 300000, 3, 128, {}},
                    RoundTripCase{"PartsArriveBackwards", 300000, 3, 128, {2, 1, 0}},
                    RoundTripCase{"PartsArriveMixed", 99999, 7, 128, {3, 0, 6, 2, 5, 1, 4}},
                    RoundTripCase{"PartOfOneByte", 2, 2, 128, {1, 0}}),
    [](const testing::TestParamInfo<RoundTripCase> &info) { return std::string(info.param.label); });

// The start of the first data line of an article's yEnc part.
std::size_t dataStart(const std::string &article) {
    std::size_t at = article.find("\r\n=ybegin ") + 2;
    at = article.find("\r\n", at) + 2;
    if (article.compare(at, 7, "=ypart ") == 0) at = article.find("\r\n", at) + 2;
    return at;
}

// A data byte that is neither an escape nor escaped.
std::size_t plainDataByte(const std::string &article) {
    std::size_t at = dataStart(article) + 4;
    while (article[at] == '=' || article[at - 1] == '=' || article[at] == '\r' || article[at] == '\n') ++at;
    return at;
}

void replaceOnce(std::string &text, const std::string &from, const std::string &to) {
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

void removeLine(std::string &text, const std::string &start) {
    const std::size_t at = text.find("\r\n" + start);
    ASSERT_NE(at, std::string::npos) << start;
    text.erase(at + 2, text.find("\r\n", at + 2) - at);
}

struct DamageCase {
    const char *label;
    int parts;  // of a 3,000-byte song "Bad.mp3", lines of 64
    std::function<void(std::vector<std::string> &)> damage;
    std::string error;    // DecodedFile::error, or "" when the file only lacks bytes
    std::string missing;  // DecodedFile::missing
};

void PrintTo(const DamageCase &c, std::ostream *out) { *out << c.label; }

class YencDamage : public testing::TestWithParam<DamageCase> {};

TEST_P(YencDamage, IsReportedClearlyAndNeverComplete) {
    const DamageCase &c = GetParam();
    std::vector<std::string> articles = yencSong(yencPayload(3000, 7), "Bad.mp3", c.parts, "bad", 64);
    c.damage(articles);
    const DecodedFileList list = decodeArticles(articles);
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_EQ(list.files[0].error, c.error);
    EXPECT_EQ(list.files[0].missing, c.missing);
    EXPECT_FALSE(list.files[0].complete);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, YencDamage,
    testing::Values(
        DamageCase{"TruncatedPart", 3, [](auto &a) { a[1].resize(a[1].size() / 2); },
                   "Part 2 of Bad.mp3 is cut off: it has no =yend line.", ""},
        DamageCase{"MissingYend", 3, [](auto &a) { removeLine(a[2], "=yend"); },
                   "Part 3 of Bad.mp3 is cut off: it has no =yend line.", ""},
        DamageCase{"YendOfSinglePartMissing", 1, [](auto &a) { removeLine(a[0], "=yend"); },
                   "Part 1 of Bad.mp3 is cut off: it has no =yend line.", ""},
        DamageCase{"WrongBeginSize", 1, [](auto &a) { replaceOnce(a[0], "size=3000 name", "size=2999 name"); },
                   "Size error in part 1 of Bad.mp3: 2999 bytes expected, 3000 decoded.", ""},
        DamageCase{"BeginSizeTooLarge", 1, [](auto &a) { replaceOnce(a[0], "size=3000 name", "size=3001 name"); },
                   "Size error in part 1 of Bad.mp3: 3001 bytes expected, 3000 decoded.", ""},
        DamageCase{"WrongEndSize", 3, [](auto &a) { replaceOnce(a[0], "=yend size=1000", "=yend size=999"); },
                   "Size error in part 1 of Bad.mp3: 999 bytes announced, 1000 decoded.", ""},
        DamageCase{"PartOutOfRange", 3, [](auto &a) { replaceOnce(a[1], "part=2 total=3", "part=4 total=3"); },
                   "Part 4 of Bad.mp3 is out of range: the post has 3 parts.", ""},
        DamageCase{"PartZero", 3, [](auto &a) { replaceOnce(a[1], "part=2 total=3", "part=0 total=3"); },
                   "A yEnc part of Bad.mp3 has no valid number.", ""},
        DamageCase{"EndPartDiffers", 3, [](auto &a) { replaceOnce(a[1], " part=2 pcrc32", " part=3 pcrc32"); },
                   "Part 2 of Bad.mp3 ends as part 3.", ""},
        DamageCase{"OverlappingRanges", 3,
                   [](auto &a) { replaceOnce(a[1], "begin=1001 end=2000", "begin=901 end=1900"); },
                   "Parts of Bad.mp3 overlap at byte 901.", ""},
        DamageCase{"RangeBeyondTheFile", 3, [](auto &a) { replaceOnce(a[2], "end=3000", "end=3001"); },
                   "Part 3 of Bad.mp3 lies outside the file: bytes 2001 to 3001 of 3000.", ""},
        // Decoded straight into the file: the surplus must not run into the next part's bytes.
        DamageCase{"MoreBytesThanItsRange", 3,
                   [](auto &a) { replaceOnce(a[1], "begin=1001 end=2000", "begin=1001 end=1500"); },
                   "Size error in part 2 of Bad.mp3: more than the 500 bytes of its range.", ""},
        DamageCase{"RangeUpsideDown", 3,
                   [](auto &a) { replaceOnce(a[1], "begin=1001 end=2000", "begin=2000 end=1001"); },
                   "Part 2 of Bad.mp3 has no valid =ypart range.", ""},
        DamageCase{"MissingRange", 3, [](auto &a) { a.erase(a.begin() + 1); }, "",
                   "Bytes 1001 to 2000 of Bad.mp3 are missing."},
        DamageCase{"MissingLastRange", 3, [](auto &a) { a.pop_back(); }, "",
                   "Bytes 2001 to 3000 of Bad.mp3 are missing."},
        DamageCase{"MissingYpartLine", 3, [](auto &a) { removeLine(a[1], "=ypart"); },
                   "Part 2 of Bad.mp3 has no =ypart line.", ""},
        DamageCase{"SizesDisagree", 3, [](auto &a) { replaceOnce(a[2], "size=3000", "size=3500"); },
                   "Parts of Bad.mp3 disagree on its size.", ""},
        DamageCase{"EscapeAtLineEnd", 3, [](auto &a) { a[0].insert(a[0].find("\r\n", dataStart(a[0])), "="); },
                   "Part 1 of Bad.mp3 has an escape at the end of a line.", ""},
        DamageCase{"NulInData", 3, [](auto &a) { a[0][plainDataByte(a[0])] = '\0'; },
                   "Part 1 of Bad.mp3 holds a byte that yEnc never sends.", ""},
        DamageCase{"CrInData", 3, [](auto &a) { a[0][plainDataByte(a[0])] = '\r'; },
                   "Part 1 of Bad.mp3 holds a byte that yEnc never sends.", ""},
        DamageCase{"FlippedByte", 3,
                   [](auto &a) {
                       char &c = a[1][plainDataByte(a[1])];
                       c = c == 'A' ? 'B' : 'A';
                   },
                   "CRC error in part 2 of Bad.mp3.", ""},
        DamageCase{"SinglePartFlippedByte", 1,
                   [](auto &a) {
                       char &c = a[0][plainDataByte(a[0])];
                       c = c == 'A' ? 'B' : 'A';
                   },
                   "CRC error in part 1 of Bad.mp3.", ""},
        DamageCase{"WrongFileCrc", 3,
                   [](auto &a) {
                       const std::size_t at = a[2].find(" crc32=") + 7;
                       a[2][at] = a[2][at] == '0' ? '1' : '0';
                   },
                   "CRC error in Bad.mp3.", ""},
        DamageCase{"CrcNotHex", 3, [](auto &a) { replaceOnce(a[0], "pcrc32=", "pcrc32=xyz"); },
                   "CRC error in part 1 of Bad.mp3: no valid pcrc32.", ""},
        DamageCase{"NoSize", 1, [](auto &a) { replaceOnce(a[0], "size=3000 name", "name"); },
                   "Size error in part 1 of Bad.mp3: no valid size.", ""},
        DamageCase{"SizeTooLong", 1,
                   [](auto &a) { replaceOnce(a[0], "size=3000 name", "size=99999999999999999999 name"); },
                   "Size error in part 1 of Bad.mp3: no valid size.", ""}),
    [](const testing::TestParamInfo<DamageCase> &info) { return std::string(info.param.label); });

}  // namespace

TEST(YencArticle, LaterPartIsNotTakenForUuencode) {
    // Part 2's Subject marks a continuation; its body must still be read as yEnc.
    const std::string file = yencPayload(4000, 3);
    const std::vector<std::string> articles = yencSong(file, "song.mp3", 2, "later");
    DecodedFileList list = decodeArticles({articles[1]});
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_EQ(list.files[0].encoding, kEncodingYenc);
    EXPECT_EQ(list.files[0].missing, "Bytes 1 to 2000 of song.mp3 are missing.");
    EXPECT_EQ(list.files[0].content(), file.substr(2000));
}

TEST(YencArticle, PreviewOfTheFirstPartHoldsItsBytes) {
    const std::string file = yencPayload(6000, 4);
    const DecodedFileList list = decodeArticles({yencSong(file, "song.mp3", 3, "pre")[0]});
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_FALSE(list.files[0].complete);
    EXPECT_EQ(list.files[0].error, "");
    EXPECT_EQ(list.files[0].content(), file.substr(0, 2000));
}

TEST(YencArticle, PartFetchedTwiceCountsOnce) {
    const std::string file = yencPayload(6000, 5);
    const std::vector<std::string> a = yencSong(file, "song.mp3", 3, "twice");
    const DecodedFileList list = decodeArticles({a[0], a[1], a[1], a[2]});
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_TRUE(list.files[0].complete);
    EXPECT_EQ(list.files[0].content(), file);
}

TEST(YencArticle, NameIsKeptAsPostedForTheWriterToMakeSafe) {
    for (const std::string name : {"../../etc/passwd.mp3", "a\x01name.mp3", "name with  blanks.mp3"}) {
        const DecodedFileList list = decodeArticles(yencSong("abc", name, 1, "name"));
        ASSERT_EQ(list.files.size(), 1u);
        EXPECT_EQ(list.files[0].fileName, name);
        EXPECT_TRUE(list.files[0].complete);
    }
}

TEST(YencArticle, CrcErrorNamesAreReportable) {
    std::vector<std::string> a = yencSong(yencPayload(500, 1), std::string("x\x07y.mp3"), 1, "ctl");
    char &c = a[0][plainDataByte(a[0])];
    c = c == 'A' ? 'B' : 'A';
    const DecodedFileList list = decodeArticles(a);
    ASSERT_EQ(list.files.size(), 1u);
    EXPECT_EQ(list.files[0].error, "CRC error in part 1 of x?y.mp3.");
}
