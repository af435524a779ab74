// The usable overview lines of one group, kept compactly for grouping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "songs/overview_line.h"

namespace corvane {

// Texts are copied into large blocks and every distinct base name is kept once (a song's parts
// share it), so a group of a million articles costs a few allocations per thousand lines
// instead of three per line, and grouping compares names only once each.
class PartsTable {
public:
    struct Part {
        std::string_view messageId;
        std::string_view date;
        std::size_t name = 0;  // position in names()
        int32_t partIndex = 0;
        int32_t partCount = 0;
    };

    PartsTable() = default;
    PartsTable(const PartsTable &) = delete;
    PartsTable &operator=(const PartsTable &) = delete;

    void reserve(std::size_t parts) { parts_.reserve(parts); }
    // Appends a copy of the entry. Throws std::bad_alloc when memory runs out.
    void add(const OverviewEntry &entry);

    // In the order they were added.
    const std::vector<Part> &parts() const { return parts_; }
    const std::vector<std::string_view> &names() const { return names_; }

private:
    std::string_view keep(std::string_view text);
    std::size_t nameOf(std::string_view baseName);
    void growNameSlots();

    // The name index: open addressing over the names' hashes, at most half full, so that a
    // lookup touches one or two neighbouring slots instead of a chain of scattered nodes.
    static constexpr std::size_t kNoName = SIZE_MAX;
    struct NameSlot {
        std::size_t hash = 0;
        std::size_t name = kNoName;
    };

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockFree_ = 0;
    char *blockEnd_ = nullptr;
    std::vector<std::string_view> names_;
    std::vector<NameSlot> nameSlots_;
    std::size_t lastName_ = 0;
    std::vector<Part> parts_;
};

}  // namespace corvane
