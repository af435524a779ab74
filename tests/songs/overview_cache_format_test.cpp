// The overview cache file: what is written reads back the same, and no damaged, truncated or
// altered file is ever taken for a good one.
#include "songs/overview_cache_format.h"

#include <gtest/gtest.h>

using namespace corvane;

namespace {

OverviewCacheHeader sampleHeader() {
    OverviewCacheHeader header;
    header.key = {"news.example", 563, true, "alt.binaries.sounds.mp3"};
    header.first = 1000;
    header.last = 2000;
    return header;
}

std::vector<CachedArticle> sampleArticles() {
    const std::string_view date = "Fri, 01 Mar 2024 00:00:00 +0000";
    return {{1000, "Song A.mp3 ", "<a1@x>", date, 0, 2},
            {1003, "Song A.mp3 ", "<a2@x>", date, 1, 2},
            {1004, "Song B.mp3 ", "<b1@x>", "Sat, 02 Mar 2024", 0, -3},
            {2000, "", "<c@x>", "", 2147483646, 2147483647}};
}

std::string sampleFile() {
    std::string bytes;
    EXPECT_TRUE(encodeOverviewCache(sampleHeader(), sampleArticles(), bytes));
    return bytes;
}

bool sameArticle(const CachedArticle &a, const CachedArticle &b) {
    return a.number == b.number && a.baseName == b.baseName && a.messageId == b.messageId && a.date == b.date &&
           a.partIndex == b.partIndex && a.partCount == b.partCount;
}

TEST(OverviewCacheFormat, ReadsBackWhatWasWritten) {
    const std::string bytes = sampleFile();
    OverviewCacheHeader header;
    std::vector<CachedArticle> articles;
    ASSERT_TRUE(decodeOverviewCache(bytes, header, articles));
    EXPECT_EQ(header.key, sampleHeader().key);
    EXPECT_EQ(header.first, 1000);
    EXPECT_EQ(header.last, 2000);
    const std::vector<CachedArticle> expected = sampleArticles();
    ASSERT_EQ(articles.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(sameArticle(articles[i], expected[i])) << i;

    OverviewCacheHeader peeked;
    ASSERT_TRUE(decodeOverviewCacheHeader(bytes.substr(0, 60), peeked));
    EXPECT_EQ(peeked.key, header.key);
    EXPECT_EQ(peeked.count, 4u);
}

TEST(OverviewCacheFormat, WritingInPiecesGivesTheSameBytes) {
    OverviewCacheHeader header = sampleHeader();
    header.count = 4;
    OverviewCacheEncoder encoder(header);
    std::string pieces;
    for (const CachedArticle &article : sampleArticles()) {
        ASSERT_TRUE(encoder.add(article));
        if (article.number == 1003) continue;  // leave some bytes pending across adds
        pieces.append(encoder.pending());
        encoder.consumed();
    }
    ASSERT_TRUE(encoder.finish());
    pieces.append(encoder.pending());
    EXPECT_EQ(pieces, sampleFile());
}

TEST(OverviewCacheFormat, RefusesArticlesThatDoNotFitTheHeader) {
    const struct {
        const char *why;
        CachedArticle article;
    } cases[] = {
        {"below first", {999, "n", "<m>", "d", 0, 1}},
        {"above last", {2001, "n", "<m>", "d", 0, 1}},
        {"not above the previous", {1500, "n", "<m>", "d", 0, 1}},
        {"empty message-id", {1600, "n", "", "d", 0, 1}},
        {"negative part index", {1600, "n", "<m>", "d", -1, 1}},
        {"text too long", {1600, std::string_view(std::string(5000, 'x')), "<m>", "d", 0, 1}},
    };
    for (const auto &c : cases) {
        OverviewCacheHeader header = sampleHeader();
        header.count = 2;
        OverviewCacheEncoder encoder(header);
        ASSERT_TRUE(encoder.add({1500, "n", "<m>", "d", 0, 1}));
        EXPECT_FALSE(encoder.add(c.article)) << c.why;
    }
    OverviewCacheHeader header = sampleHeader();
    header.count = 2;
    OverviewCacheEncoder encoder(header);
    ASSERT_TRUE(encoder.add({1500, "n", "<m>", "d", 0, 1}));
    EXPECT_FALSE(encoder.finish()) << "fewer records than announced";
}

// Every cut and every single-bit change is refused: a damaged file is rebuilt, never read.
TEST(OverviewCacheFormat, RefusesEveryTruncationAndEveryFlippedBit) {
    const std::string bytes = sampleFile();
    OverviewCacheHeader header;
    std::vector<CachedArticle> articles;
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(decodeOverviewCache(bytes.substr(0, length), header, articles)) << length;
        EXPECT_TRUE(articles.empty());
    }
    EXPECT_FALSE(decodeOverviewCache(bytes + '\0', header, articles));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        for (int bit = 0; bit < 8; ++bit) {
            std::string damaged = bytes;
            damaged[i] = static_cast<char>(damaged[i] ^ (1 << bit));
            EXPECT_FALSE(decodeOverviewCache(damaged, header, articles)) << i << ":" << bit;
        }
}

// Files that carry a correct checksum but lie: another version, numbers out of order, counts
// beyond the bytes there are.
TEST(OverviewCacheFormat, RefusesWellSealedLies) {
    const auto seal = [](std::string body) {
        CacheChecksum checksum;
        checksum.update(body);
        const uint64_t value = checksum.value();
        for (int i = 0; i < 8; ++i) body.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        return body;
    };
    const std::string head = std::string("HBOVCACH") + std::string("\x01\0\0\0", 4) + "\x01s\x77\x01\x01g";
    const struct {
        const char *why;
        std::string body;
    } cases[] = {
        {"another version", std::string("HBOVCACH") + std::string("\x02\0\0\0", 4) + "\x01s\x77\x01\x01g\x01\x05\x00"},
        {"first above last", head + "\x05\x01\x00"},
        {"count beyond the bytes", head + "\x01\x05\xff\xff\x03"},
        {"two records on one number", head + std::string("\x01\x05\x02\x00\x00\x01n\x01m\x02"
                                                         "d\x00\x02\x00\x01\x01m\x00\x00\x02",
                                                         24)},
        {"number past last", head + std::string("\x01\x05\x01\x05\x00\x01n\x01m\x02"
                                                "d\x00\x02",
                                                13)},
        {"name reference before any name", head + std::string("\x01\x05\x01\x00\x01\x01m\x02"
                                                              "d\x00\x02",
                                                              11)},
        {"same date before any date", head + std::string("\x01\x05\x01\x00\x00\x01n\x01m\x00\x00\x02", 12)},
        {"tls flag not 0 or 1",
         std::string("HBOVCACH") + std::string("\x01\0\0\0", 4) + "\x01s\x77\x02\x01g\x01\x05\x00"},
    };
    OverviewCacheHeader header;
    std::vector<CachedArticle> articles;
    ASSERT_TRUE(decodeOverviewCache(seal(head + std::string("\x01\x05\x00", 3)), header, articles))
        << "the sealing itself works";
    for (const auto &c : cases) EXPECT_FALSE(decodeOverviewCache(seal(c.body), header, articles)) << c.why;
}

}  // namespace
