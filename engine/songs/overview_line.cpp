#include "songs/overview_line.h"

#include <array>

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

OverviewFields splitFields(std::string_view line) {
    OverviewFields fields;
    std::size_t pos = 0;
    while (fields.count < kMaxOverviewFields) {
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
    const OverviewFields fields = splitFields(line);
    const std::string_view *subject = fields.at(layout.subjectIndex);
    const std::string_view *messageId = fields.at(layout.messageIdIndex);
    const std::string_view *date = fields.at(layout.dateIndex);
    if (!subject || !messageId || !date || messageId->empty()) return 0;

    if (parsePartNumber(subject->substr(0, kSubjectCapacity), entry.baseName, entry.partIndex, entry.partCount) < 0)
        return 0;
    entry.messageId = *messageId;
    entry.date = *date;
    return 1;
}

}  // namespace corvane
