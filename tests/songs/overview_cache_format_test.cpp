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
    ASSERT_TRUE(peekOverviewCache(bytes, peeked));
    EXPECT_EQ(peeked.key, header.key);
    EXPECT_EQ(peeked.count, 4u);
    EXPECT_EQ(peeked.last, 2000);
}

// A later search adds the numbers above as one more segment; the file then reads as one range.
TEST(OverviewCacheFormat, AppendedSegmentsReadAsOneRange) {
    std::string bytes = sampleFile();
    const std::vector<CachedArticle> more = {{2001, "Song A.mp3 ", "<a3@x>", "Sun", 0, 1},
                                             {2500, "Song C.mp3 ", "<c1@x>", "Sun", 0, 1}};
    ASSERT_TRUE(appendOverviewCacheSegment({2001, 2600, 0}, more, bytes));
    ASSERT_TRUE(appendOverviewCacheSegment({2601, 2700, 0}, {}, bytes));
    OverviewCacheHeader header;
    std::vector<CachedArticle> articles;
    ASSERT_TRUE(decodeOverviewCache(bytes, header, articles));
    EXPECT_EQ(header.first, 1000);
    EXPECT_EQ(header.last, 2700);
    EXPECT_EQ(header.segments, 3u);
    ASSERT_EQ(articles.size(), 6u);
    EXPECT_TRUE(sameArticle(articles[4], more[0]));
    EXPECT_TRUE(sameArticle(articles[5], more[1]));
    OverviewCacheHeader peeked;
    ASSERT_TRUE(peekOverviewCache(bytes, peeked));
    EXPECT_EQ(peeked.last, 2700);
    EXPECT_EQ(peeked.count, 6u);

    // A segment that leaves a gap or overlaps breaks the one range: the file is refused.
    for (const OverviewCacheSegment &wrong :
         {OverviewCacheSegment{2702, 2800, 0}, OverviewCacheSegment{2700, 2800, 0}}) {
        std::string broken = bytes;
        ASSERT_TRUE(appendOverviewCacheSegment(wrong, {}, broken));
        EXPECT_FALSE(decodeOverviewCache(broken, header, articles)) << wrong.first;
        EXPECT_FALSE(peekOverviewCache(broken, header)) << wrong.first;
    }
}

TEST(OverviewCacheFormat, WritingInPiecesGivesTheSameBytes) {
    OverviewCacheEncoder encoder(OverviewCacheSegment{1000, 2000, 4});
    std::string pieces = encodeOverviewCacheHead(sampleHeader().key);
    const std::size_t start = pieces.size();
    for (const CachedArticle &article : sampleArticles()) {
        ASSERT_TRUE(encoder.add(article));
        if (article.number == 1003) continue;  // leave some bytes pending across adds
        pieces.append(encoder.pending());
        encoder.consumed();
    }
    ASSERT_TRUE(encoder.finish());
    pieces.append(encoder.pending());
    pieces.replace(start + encoder.lengthOffset(), 8, encoder.lengthField());
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
        OverviewCacheEncoder encoder(OverviewCacheSegment{1000, 2000, 2});
        ASSERT_TRUE(encoder.add({1500, "n", "<m>", "d", 0, 1}));
        EXPECT_FALSE(encoder.add(c.article)) << c.why;
    }
    OverviewCacheEncoder encoder(OverviewCacheSegment{1000, 2000, 2});
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

// Files whose checksums are right but whose contents lie: another version, numbers out of
// order, counts beyond the bytes there are. Each segment is sealed here by hand.
TEST(OverviewCacheFormat, RefusesWellSealedLies) {
    const auto sealed = [](std::string bytes) {
        CacheChecksum checksum;
        checksum.update(bytes);
        const uint64_t value = checksum.value();
        for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        return bytes;
    };
    // first, last, count, then the records with their length and the checksum over both.
    const auto segment = [](const std::string &numbers, const std::string &records) {
        std::string length;
        for (int i = 0; i < 8; ++i) length.push_back(static_cast<char>((records.size() >> (8 * i)) & 0xFF));
        CacheChecksum checksum;
        checksum.update(numbers);
        checksum.update(records);
        const uint64_t value = checksum.value();
        std::string out = numbers + length + records;
        for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        return out;
    };
    const std::string head = encodeOverviewCacheHead({"s", 119, false, "g"});
    const std::string record = std::string("\x00\x00\x01n\x03\x01<m>d\x00\x02", 12);
    const struct {
        const char *why;
        std::string bytes;
    } cases[] = {
        {"another version", sealed(std::string("HBOVCACH") + std::string("\x01\0\0\0", 4) + "\x01s\x77\x00\x01g") +
                                segment(std::string("\x01\x05\x00", 3), "")},
        {"no segment", head},
        {"first above last", head + segment("\x05\x01\x00", "")},
        {"count beyond the bytes", head + segment("\x01\x05\x7f", record)},
        {"two records on one number",
         head + segment("\x01\x05\x02", record + std::string("\x00\x01\x03\x01<m>d\x00\x02", 10))},
        {"number past last", head + segment("\x01\x05\x01", std::string("\x05", 1) + record.substr(1))},
        {"name reference before any name",
         head + segment("\x01\x05\x01", std::string("\x00\x01\x03\x01<m>d\x00\x02", 10))},
        {"empty message-id", head + segment("\x01\x05\x01", std::string("\x00\x00\x01n\x00\x01d\x00\x02", 9))},
        {"records longer than their count", head + segment("\x01\x05\x01", record + "x")},
        {"tls flag not 0 or 1", sealed(std::string("HBOVCACH") + std::string("\x02\0\0\0", 4) + "\x01s\x77\x02\x01g") +
                                    segment(std::string("\x01\x05\x00", 3), "")},
    };
    OverviewCacheHeader header;
    std::vector<CachedArticle> articles;
    ASSERT_TRUE(decodeOverviewCache(head + segment("\x01\x05\x01", record), header, articles))
        << "the sealing itself works";
    EXPECT_EQ(articles.size(), 1u);
    for (const auto &c : cases) EXPECT_FALSE(decodeOverviewCache(c.bytes, header, articles)) << c.why;
}

}  // namespace
