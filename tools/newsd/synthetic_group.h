// A generated newsgroup of multi-part song posts. Every header, overview line and body is
// computed from the article number, so a group of a million articles holds only the numbers
// expired by hand.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "article_text.h"
#include "newsd/news_server.h"

namespace harbeat::newsd {

class SyntheticGroup {
public:
    // Throws std::invalid_argument for options out of range (parts 1-999, lines 0-1,000,000,
    // tail 0-44) or an article range that does not fit 63 bits.
    SyntheticGroup(std::string name, std::uint64_t articleCount, std::uint64_t firstNumber,
                   const SyntheticGroupOptions &options, std::string xrefHost);

    const std::string &name() const { return name_; }
    std::uint64_t firstNumber() const { return first_; }
    // firstNumber - 1 when the group is empty.
    std::uint64_t lastNumber() const { return first_ + count_ - 1; }
    std::uint64_t presentCount() const;
    bool isPresent(std::uint64_t number) const;
    // The lowest present number in [from, to], if any.
    std::optional<std::uint64_t> firstPresentIn(std::uint64_t from, std::uint64_t to) const;
    // The highest present number in [from, to], if any.
    std::optional<std::uint64_t> lastPresentIn(std::uint64_t from, std::uint64_t to) const;

    // Appends "number\tsubject\tfrom\tdate\tmessage-id\t\tbytes\tlines\tXref: ...\r\n".
    void appendOverviewLine(std::uint64_t number, std::string &out) const;

    // The overview lines of a run of consecutive numbers, as a server keeps them in its overview
    // database: made once and read from then on, while the kept runs stay under a bound.
    struct OverviewBlock {
        std::uint64_t first = 0;             // the number of the first line
        std::string text;                    // the lines, one after another
        std::vector<std::uint32_t> starts;   // where each number's line starts; one more at the end
        // Empty for a number that was not present when the block was made.
        std::string_view line(std::uint64_t number) const {
            const std::size_t at = static_cast<std::size_t>(number - first);
            return std::string_view(text).substr(starts[at], starts[at + 1] - starts[at]);
        }
        std::uint64_t last() const { return first + starts.size() - 2; }
    };
    // Only groups without yEnc posts keep their overview in blocks: a yEnc post's line needs its
    // body made, and a block would make the bodies of thousands of articles nobody asked for.
    bool keepsOverviewBlocks() const { return options_.yencEvery == 0; }
    // The block holding `number`, which must be in the group's range.
    std::shared_ptr<const OverviewBlock> overviewBlock(std::uint64_t number) const;
    // The whole article (header, empty line, body) of a number in range.
    std::string article(std::uint64_t number, ArticleLayout &layout) const;
    std::string messageId(std::uint64_t number) const;
    // The number of a present article with that message-id.
    std::optional<std::uint64_t> numberOfMessageId(std::string_view messageId) const;
    // Removes a present article; false when it is not present.
    bool expire(std::uint64_t number);
    // The decoded payload of all parts of one song.
    std::string songFile(std::uint64_t song) const;

private:
    struct Post;
    Post post(std::uint64_t number) const;
    // Returns the length of the file name within the subject.
    std::size_t appendSubject(std::string &out, const Post &post) const;
    void appendFileName(std::string &out, const Post &post) const;
    std::size_t subjectSuffixLength(const Post &post) const;
    void appendFrom(std::string &out, const Post &post) const;
    void appendMessageId(std::string &out, const Post &post) const;
    std::uint64_t bodyLines(const Post &post) const;
    std::uint64_t bodyBytes(const Post &post, std::size_t fileNameLength) const;
    void appendBody(std::string &out, const Post &post) const;
    void appendPayloadLine(std::string &out, std::uint64_t song, std::uint64_t line, int bytes) const;
    // The raw bytes of one payload line (at most 45).
    void payloadBytes(std::uint64_t song, std::uint64_t line, int bytes, unsigned char *data) const;
    // The decoded bytes part `part` (1-based) of a song carries.
    std::string partPayload(std::uint64_t song, int part) const;
    // The yEnc body of a part, made once and kept while the kept bodies stay under a bound: a
    // server sends the same stored bytes to every reader, and making them is far dearer than
    // sending them.
    std::shared_ptr<const std::string> yencBody(const Post &post) const;
    std::string makeYencBody(const Post &post) const;
    std::shared_ptr<const OverviewBlock> makeOverviewBlock(std::uint64_t first) const;
    bool isGap(std::uint64_t offset) const;

    std::string name_;
    std::uint64_t count_;
    std::uint64_t first_;
    SyntheticGroupOptions options_;
    std::string xrefHost_;
    std::uint64_t key_;
    std::uint64_t gapCount_ = 0;

    mutable std::mutex expiredMutex_;
    std::unordered_set<std::uint64_t> expired_;
    std::atomic<std::uint64_t> expiredCount_{0};

    using PartKey = std::pair<std::uint64_t, int>;  // song, part
    mutable std::mutex yencMutex_;
    mutable std::map<PartKey, std::shared_ptr<const std::string>> yencBodies_;
    mutable std::deque<PartKey> yencOrder_;  // oldest first
    mutable std::size_t yencBytes_ = 0;

    mutable std::mutex overviewMutex_;
    mutable std::map<std::uint64_t, std::shared_ptr<const OverviewBlock>> overviewBlocks_;  // by first number
    mutable std::size_t overviewBytes_ = 0;
};

}  // namespace harbeat::newsd
