// NZB files as a hostile indexer or a damaged download might deliver them, read in two pieces
// (the first byte says where the text is split): nothing may crash, and whatever is accepted
// gives message-ids a server can be asked for and well-formed song lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "songs/nzb_reader.h"
#include "songs/nzb_songs.h"

namespace {

void checkMessageId(std::string_view id) {
    if (id.empty() || id.size() > corvane::kMaxNzbMessageId || id.find('@') == std::string_view::npos) std::abort();
    for (char c : id)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == '<' || c == '>') std::abort();
}

void checkSongLine(std::string_view line) {
    if (line.size() < 8 || line.front() != '\t' || line.substr(line.size() - 2) != "\r\n") std::abort();
    std::size_t tabs = 0;
    for (char c : line.substr(0, line.size() - 2)) {
        if (c == '\t') ++tabs;
        if (c == '\r' || c == '\n' || c == '\0') std::abort();
    }
    if (tabs != 6) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    const std::size_t split = text.empty() ? 0 : data[0] % (text.size() + 1);
    corvane::NzbReader reader;
    if (!reader.feed(text.substr(0, split)) || !reader.feed(text.substr(split)) || !reader.finish()) {
        if (reader.error().empty()) std::abort();
        return 0;
    }
    const corvane::NzbList &list = reader.list();
    if (list.files.empty()) std::abort();
    for (const corvane::NzbFile &file : list.files) {
        if (file.firstGroup.empty() || file.firstSegment + file.segmentCount > list.segments.size()) std::abort();
        for (std::size_t i = 0; i < file.segmentCount; ++i) {
            const corvane::NzbSegment &segment = list.segments[file.firstSegment + i];
            if (static_cast<std::size_t>(segment.idOffset) + segment.idLength > list.messageIds.size()) std::abort();
            checkMessageId(list.messageId(segment));
        }
    }
    corvane::sendNzbSongLines(list, checkSongLine);
    return 0;
}
