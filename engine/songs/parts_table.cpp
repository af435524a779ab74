#include "songs/parts_table.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr std::size_t kBlockSize = std::size_t(1) << 20;

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
    const auto known = nameIndex_.find(baseName);
    if (known != nameIndex_.end()) return lastName_ = known->second;
    const std::string_view name = keep(baseName);
    names_.push_back(name);
    nameIndex_.emplace(name, names_.size() - 1);
    return lastName_ = names_.size() - 1;
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
