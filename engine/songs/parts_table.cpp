#include "songs/parts_table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/huge_pages.h"

namespace corvane {
namespace {

// The first block; each next one doubles, up to the largest.
constexpr std::size_t kBlockSize = std::size_t(1) << 20;
constexpr std::size_t kLargestBlock = std::size_t(8) << 20;
constexpr std::align_val_t kBlockAlignment{std::size_t(2) << 20};
constexpr std::size_t kFirstNameSlots = 1024;  // a power of two, as every later size

}  // namespace

void PartsTable::BlockDelete::operator()(char *block) const { ::operator delete[](block, kBlockAlignment); }

void PartsTable::reserve(std::size_t parts) {
    parts_.reserve(parts);
    adviseHugePages(parts_.data(), parts_.capacity() * sizeof(Part));
}

void PartsTable::addPart(const Part &part) {
    // Grown here rather than by push_back, so that the new storage gets the same advice.
    if (parts_.size() == parts_.capacity()) reserve(std::max<std::size_t>(2 * parts_.capacity(), 1024));
    parts_.push_back(part);
}

const char *PartsTable::keep(std::string_view first, std::string_view second) {
    const std::size_t length = first.size() + second.size();
    if (length > blockFree_) {
        const std::size_t step = std::min<std::size_t>(blocks_.size(), 3);
        const std::size_t size = std::max(std::min(kBlockSize << step, kLargestBlock), length);
        blocks_.emplace_back(static_cast<char *>(::operator new[](size, kBlockAlignment)));
        blockEnd_ = blocks_.back().get();
        blockFree_ = size;
        adviseHugePages(blockEnd_, size);
    }
    char *copy = blockEnd_;
    if (!first.empty()) std::memcpy(copy, first.data(), first.size());
    if (!second.empty()) std::memcpy(copy + first.size(), second.data(), second.size());
    blockEnd_ += length;
    blockFree_ -= length;
    return copy;
}

uint32_t PartsTable::nameOf(std::string_view baseName) {
    // The parts of one song are mostly posted one after another: try the last name first.
    if (!names_.empty() && names_[lastName_] == baseName) return lastName_;
    if (2 * (names_.size() + 1) > nameSlots_.size()) growNameSlots();
    const auto hash = static_cast<uint32_t>(std::hash<std::string_view>{}(baseName));
    const std::size_t mask = nameSlots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        NameSlot &slot = nameSlots_[i];
        if (slot.name == kNoName) {
            if (names_.size() >= kNoName) throw std::bad_alloc();
            names_.emplace_back(keep(baseName), baseName.size());
            slot = {hash, static_cast<uint32_t>(names_.size() - 1)};
            return lastName_ = slot.name;
        }
        if (slot.hash == hash && names_[slot.name] == baseName) return lastName_ = slot.name;
    }
}

void PartsTable::growNameSlots() {
    const std::size_t slots = std::max(kFirstNameSlots, 2 * nameSlots_.size());
    std::vector<NameSlot> grown;
    grown.reserve(slots);
    adviseHugePages(grown.data(), slots * sizeof(NameSlot));
    grown.resize(slots);
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
    // Overview lines are shorter than 4,096 characters; the cut only keeps a caller's longer
    // text from wrapping the length.
    const std::string_view messageId = entry.messageId.substr(0, UINT16_MAX);
    const std::string_view date = entry.date.substr(0, UINT16_MAX);
    Part part;
    part.name = nameOf(entry.baseName);
    part.texts = keep(messageId, date);
    part.number = entry.number;
    part.messageIdLength = static_cast<uint16_t>(messageId.size());
    part.dateLength = static_cast<uint16_t>(date.size());
    part.partIndex = entry.partIndex;
    part.partCount = entry.partCount;
    addPart(part);
}

void PartsTable::addInPlace(const OverviewEntry &entry) {
    if (entry.messageId.size() > UINT16_MAX || entry.date.size() > UINT16_MAX ||
        entry.messageId.data() + entry.messageId.size() != entry.date.data()) {
        add(entry);
        return;
    }
    Part part;
    part.name = nameOf(entry.baseName);
    part.texts = entry.messageId.data();
    part.number = entry.number;
    part.messageIdLength = static_cast<uint16_t>(entry.messageId.size());
    part.dateLength = static_cast<uint16_t>(entry.date.size());
    part.partIndex = entry.partIndex;
    part.partCount = entry.partCount;
    addPart(part);
}

}  // namespace corvane
