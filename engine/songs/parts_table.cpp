#include "songs/parts_table.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr std::size_t kBlockSize = std::size_t(1) << 20;
constexpr std::size_t kFirstNameSlots = 1024;  // a power of two, as every later size

}  // namespace

std::string_view PartsTable::keep(std::string_view text) {
    if (text.size() > blockFree_) {
        const std::size_t size = std::max(kBlockSize, text.size());
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        blockEnd_ = blocks_.back().get();
        blockFree_ = size;
    }
    char *copy = blockEnd_;
    if (!text.empty()) std::memcpy(copy, text.data(), text.size());
    blockEnd_ += text.size();
    blockFree_ -= text.size();
    return std::string_view(copy, text.size());
}

std::size_t PartsTable::nameOf(std::string_view baseName) {
    // The parts of one song are mostly posted one after another: try the last name first.
    if (!names_.empty() && names_[lastName_] == baseName) return lastName_;
    if (2 * (names_.size() + 1) > nameSlots_.size()) growNameSlots();
    const std::size_t hash = std::hash<std::string_view>{}(baseName);
    const std::size_t mask = nameSlots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        NameSlot &slot = nameSlots_[i];
        if (slot.name == kNoName) {
            names_.push_back(keep(baseName));
            slot = {hash, names_.size() - 1};
            return lastName_ = slot.name;
        }
        if (slot.hash == hash && names_[slot.name] == baseName) return lastName_ = slot.name;
    }
}

void PartsTable::growNameSlots() {
    std::vector<NameSlot> grown(std::max(kFirstNameSlots, 2 * nameSlots_.size()));
    const std::size_t mask = grown.size() - 1;
    for (const NameSlot &slot : nameSlots_) {
        if (slot.name == kNoName) continue;
        std::size_t i = slot.hash & mask;
        while (grown[i].name != kNoName) i = (i + 1) & mask;
        grown[i] = slot;
    }
    nameSlots_.swap(grown);
}

void PartsTable::add(const OverviewEntry &entry) {
    Part part;
    part.name = nameOf(entry.baseName);
    part.messageId = keep(entry.messageId);
    part.date = keep(entry.date);
    part.partIndex = entry.partIndex;
    part.partCount = entry.partCount;
    parts_.push_back(part);
}

}  // namespace corvane
