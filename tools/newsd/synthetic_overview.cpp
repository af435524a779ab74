// The overview lines of a synthetic group, kept in blocks: a real server reads its overview from
// its database rather than making every line anew, and making them costs far more than sending.
#include <algorithm>

#include "synthetic_group.h"

namespace harbeat::newsd {
namespace {

constexpr std::uint64_t kBlockNumbers = 4096;
// Enough for the overview of a million articles, the largest group of the benchmarks.
constexpr std::size_t kKeptOverviewBytes = std::size_t(384) << 20;

}  // namespace

std::shared_ptr<const SyntheticGroup::OverviewBlock> SyntheticGroup::makeOverviewBlock(std::uint64_t first) const {
    auto block = std::make_shared<OverviewBlock>();
    block->first = first;
    const std::uint64_t last = std::min(lastNumber(), first + kBlockNumbers - 1);
    block->starts.reserve(static_cast<std::size_t>(last - first) + 2);
    block->text.reserve(static_cast<std::size_t>(last - first + 1) * 300);
    for (std::uint64_t number = first; number <= last; ++number) {
        block->starts.push_back(static_cast<std::uint32_t>(block->text.size()));
        if (isPresent(number)) appendOverviewLine(number, block->text);
    }
    block->starts.push_back(static_cast<std::uint32_t>(block->text.size()));
    return block;
}

std::shared_ptr<const SyntheticGroup::OverviewBlock> SyntheticGroup::overviewBlock(std::uint64_t number) const {
    const std::uint64_t first = first_ + (number - first_) / kBlockNumbers * kBlockNumbers;
    {
        std::lock_guard lock(overviewMutex_);
        const auto found = overviewBlocks_.find(first);
        if (found != overviewBlocks_.end()) return found->second;
    }
    // Made outside the lock; a block another session made meanwhile wins.
    auto block = makeOverviewBlock(first);
    std::lock_guard lock(overviewMutex_);
    if (overviewBytes_ + block->text.size() > kKeptOverviewBytes) return block;
    const auto [kept, added] = overviewBlocks_.emplace(first, block);
    if (added) overviewBytes_ += block->text.size();
    return kept->second;
}

}  // namespace harbeat::newsd
