// Reads an NZB file (an indexer's list of a post's articles) into its files and segments.
//
// An NZB is XML: an <nzb> root holding <file subject=".." date="<seconds since 1970>"> elements,
// each with <groups><group>name</group>...</groups> and <segments><segment number="n"
// bytes="..">message-id without angle brackets</segment>...</segments>. Namespaces and prefixes
// are allowed, other elements (<head>, <meta>) are skipped. The text is read piece by piece, so a
// large file never has to be in memory whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// A message-id is at most 250 characters with its angle brackets (RFC 3977).
inline constexpr std::size_t kMaxNzbMessageId = 248;
inline constexpr std::size_t kMaxNzbGroupName = 255;
// Longer subjects are cut, as the search cuts them.
inline constexpr std::size_t kMaxNzbSubject = 1023;
// Far more than any post has; it bounds the memory a hostile file of empty files can take.
inline constexpr std::size_t kMaxNzbFiles = 100000;

struct NzbSegment {
    uint32_t number = 0;
    uint32_t idOffset = 0;  // into NzbList::messageIds
    uint32_t idLength = 0;
};

struct NzbFile {
    std::string subject;
    int64_t date = -1;  // seconds since 1970, UTC; -1 when the file gives none that is readable
    std::string firstGroup;
    std::size_t firstSegment = 0;  // into NzbList::segments, in the order the file lists them
    std::size_t segmentCount = 0;
};

struct NzbList {
    std::vector<NzbFile> files;
    std::vector<NzbSegment> segments;
    std::string messageIds;  // every message-id, without angle brackets, back to back

    std::string_view messageId(const NzbSegment &segment) const {
        return std::string_view(messageIds).substr(segment.idOffset, segment.idLength);
    }
};

// Feeds an NZB's bytes in pieces. The first refusal stops it: feed and finish then return false
// and error() says why, as a clause that follows "Cannot list <file>: " ("it is not XML (...)").
// Refused: text that is not XML, XML whose root is not <nzb>, any entity declaration (the
// entity expansions of a "billion laughs" file never start), a reference to an undeclared
// entity, a file without a newsgroup, a segment without a number, a message-id or newsgroup name
// holding a blank or a control character, a message-id without "@", an NZB of no file and
// one of more than kMaxNzbFiles files.
class NzbReader {
public:
    NzbReader();
    ~NzbReader();
    NzbReader(const NzbReader &) = delete;
    NzbReader &operator=(const NzbReader &) = delete;

    bool feed(std::string_view bytes);
    // The input has ended.
    bool finish();

    const std::string &error() const;
    // What has been read; complete once finish() returned true.
    NzbList &list();

    // Kept in the source file, where the parser's callbacks reach it.
    struct State;

private:
    std::unique_ptr<State> state_;
};

// The whole text at once.
bool readNzb(std::string_view text, NzbList &list, std::string &error);

}  // namespace corvane
