#include "songs/overview_line.h"

#include <algorithm>
#include <array>
#include <charconv>

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

}  // namespace

int parseOverviewLine(std::string_view line, const OverviewLayout &layout, OverviewEntry &entry) {
    const int32_t lastWanted = std::max({layout.subjectIndex, layout.messageIdIndex, layout.dateIndex});
    const OverviewFields fields = splitFields(line, static_cast<std::size_t>(std::max(lastWanted, 0)) + 1);
    const std::string_view *subject = fields.at(layout.subjectIndex);
    const std::string_view *messageId = fields.at(layout.messageIdIndex);
    const std::string_view *date = fields.at(layout.dateIndex);
    if (!subject || !messageId || !date || messageId->empty()) return 0;

    if (parseSongSubject(subject->substr(0, kSubjectCapacity), entry.baseName, entry.partIndex, entry.partCount) < 0)
        return 0;
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
