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
    // 32 bytes: the message-id and the date lie side by side in a block.
    struct Part {
        const char *texts = nullptr;
        int64_t number = 0;  // the article number, for the overview cache
        uint32_t name = 0;   // position in names()
        uint16_t messageIdLength = 0;
        uint16_t dateLength = 0;
        int32_t partIndex = 0;
        int32_t partCount = 0;

        std::string_view messageId() const { return {texts, messageIdLength}; }
        std::string_view date() const { return {texts + messageIdLength, dateLength}; }
    };

    PartsTable() = default;
    PartsTable(const PartsTable &) = delete;
    PartsTable &operator=(const PartsTable &) = delete;

    void reserve(std::size_t parts);
    // Appends a copy of the entry, whose texts come from one overview line (under 4,096
    // characters). Throws std::bad_alloc when memory runs out.
    void add(const OverviewEntry &entry);
    // The same without copying the message-id and the date when they lie side by side in memory
    // that outlives the table (a mapped cache file); otherwise as add().
    void addInPlace(const OverviewEntry &entry);

    // In the order they were added.
    const std::vector<Part> &parts() const { return parts_; }
    const std::vector<std::string_view> &names() const { return names_; }

private:
    // Copies the texts side by side into the current block and returns where they start.
    const char *keep(std::string_view first, std::string_view second = {});
    uint32_t nameOf(std::string_view baseName);
    void growNameSlots();

    // The name index: open addressing over the names' hashes, at most half full, so that a
    // lookup touches one or two neighbouring slots instead of a chain of scattered nodes.
    static constexpr uint32_t kNoName = UINT32_MAX;
    struct NameSlot {
        uint32_t hash = 0;  // the low half of the name's hash: 8 bytes a slot
        uint32_t name = kNoName;
    };

    // Blocks are aligned to whole huge pages, so that the larger ones can be backed by them.
    struct BlockDelete {
        void operator()(char *block) const;
    };
    void addPart(const Part &part);

    std::vector<std::unique_ptr<char[], BlockDelete>> blocks_;
    std::size_t blockFree_ = 0;
    char *blockEnd_ = nullptr;
    std::vector<std::string_view> names_;
    std::vector<NameSlot> nameSlots_;
    uint32_t lastName_ = 0;
    std::vector<Part> parts_;
};

}  // namespace corvane
