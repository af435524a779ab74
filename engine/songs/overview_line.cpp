#include "songs/overview_line.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>

#include "songs/part_number.h"

namespace corvane {
namespace {

struct OverviewFields {
    std::array<std::string_view, kMaxOverviewFields> text;
    std::size_t count = 0;

    const std::string_view *at(int32_t index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= count) return nullptr;
        return &text[static_cast<std::size_t>(index)];
    }
};

// Splits off the first `wanted` fields (at most 32); the rest of the line is not looked at.
OverviewFields splitFields(std::string_view line, std::size_t wanted) {
    OverviewFields fields;
    std::size_t pos = 0;
    while (fields.count < std::min(wanted, kMaxOverviewFields)) {
        const std::size_t tab = line.find('\t', pos);
        if (tab == std::string_view::npos) {
            fields.text[fields.count++] = line.substr(pos);
            break;
        }
        fields.text[fields.count++] = line.substr(pos, tab - pos);
        pos = tab + 1;
    }
    return fields;
}

// A subject that names an .mp3 file without a part marker is as often a request or a reply
// about a song as the song itself. Such an article is taken for a song only when it is as large
// as one: a request is a few lines, and the smallest encoded song is far above these.
constexpr int64_t kLeastSongBytes = 2000;
constexpr int64_t kLeastSongLines = 20;

// The decimal number in the field at `index` (blanks around it allowed), or -1.
int64_t numberField(const OverviewFields &fields, int32_t index) {
    const std::string_view *field = index > 0 ? fields.at(index) : nullptr;
    if (!field) return -1;
    std::string_view text = *field;
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    int64_t number = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && !text.empty() ? number : -1;
}

bool looksLikeBinary(std::string_view line, std::string_view subject, const OverviewLayout &layout) {
    if (namesYenc(subject)) return true;
    const int32_t lastWanted = std::max(layout.bytesIndex, layout.linesIndex);
    if (lastWanted <= 0) return false;
    const OverviewFields fields = splitFields(line, static_cast<std::size_t>(lastWanted) + 1);
    return numberField(fields, layout.bytesIndex) >= kLeastSongBytes ||
           numberField(fields, layout.linesIndex) >= kLeastSongLines;
}

}  // namespace

int parseOverviewLine(std::string_view line, const OverviewLayout &layout, OverviewEntry &entry) {
    const int32_t lastWanted = std::max({layout.subjectIndex, layout.messageIdIndex, layout.dateIndex});
    const OverviewFields fields = splitFields(line, static_cast<std::size_t>(std::max(lastWanted, 0)) + 1);
    const std::string_view *subject = fields.at(layout.subjectIndex);
    const std::string_view *messageId = fields.at(layout.messageIdIndex);
    const std::string_view *date = fields.at(layout.dateIndex);
    if (!subject || !messageId || !date || messageId->empty()) return 0;

    const std::string_view subjectText = subject->substr(0, kSubjectCapacity);
    bool unmarked = false;
    if (parseSongSubject(subjectText, entry.baseName, entry.partIndex, entry.partCount, &unmarked) < 0) return 0;
    if (unmarked && !looksLikeBinary(line, subjectText, layout)) return 0;
    // The number only places the article in the overview cache; a line without one is still a
    // part of a song, it just keeps its group out of the cache.
    const std::string_view number = fields.text[0];
    if (std::from_chars(number.data(), number.data() + number.size(), entry.number).ptr !=
            number.data() + number.size() ||
        entry.number < 0)
        entry.number = 0;
    entry.messageId = *messageId;
    entry.date = *date;
    return 1;
}

}  // namespace corvane
