#include "songs/song_grouping.h"

#include <algorithm>
#include <numeric>

#include "songs/name_order.h"

namespace corvane {
namespace {

using Part = PartsTable::Part;
using PartPositions = std::vector<std::size_t>;

// The positions of the parts, bucketed by base name with a counting sort, each bucket in arrival
// order. Bucket n spans [bucketStart[n], bucketStart[n + 1]).
void bucketByName(const PartsTable &table, PartPositions &byName, std::vector<std::size_t> &bucketStart) {
    const std::vector<Part> &parts = table.parts();
    bucketStart.assign(table.names().size() + 1, 0);
    for (const Part &part : parts) ++bucketStart[part.name + 1];
    std::partial_sum(bucketStart.begin(), bucketStart.end(), bucketStart.begin());
    std::vector<std::size_t> next(bucketStart.begin(), bucketStart.end() - 1);
    byName.resize(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i) byName[next[parts[i].name]++] = i;
}

// A stable sort by part index. Buckets hold one song's parts, a handful as a rule, for which
// an insertion sort beats a merge sort and needs no buffer.
void sortByPartIndex(PartPositions::iterator begin, PartPositions::iterator end, const std::vector<Part> &parts) {
    const auto lower = [&parts](std::size_t a, std::size_t b) { return parts[a].partIndex < parts[b].partIndex; };
    if (end - begin > 32) {
        std::stable_sort(begin, end, lower);
        return;
    }
    for (auto i = begin + 1; i < end; ++i)
        for (auto j = i; j > begin && lower(*j, *(j - 1)); --j) std::iter_swap(j, j - 1);
}

// True when the lowest part of the bucket and the m - 1 after it carry consecutive part indexes.
bool isCompleteRun(PartPositions::const_iterator begin, PartPositions::const_iterator end,
                   const std::vector<Part> &parts) {
    const int32_t m = parts[*begin].partCount;
    if (m < 1 || m > end - begin) return false;
    for (auto j = begin; j + 1 < begin + m; ++j)
        if (static_cast<int64_t>(parts[*(j + 1)].partIndex) != static_cast<int64_t>(parts[*j].partIndex) + 1)
            return false;
    return true;
}

}  // namespace

std::size_t groupSongs(const PartsTable &table, GroupedSongs &grouped) {
    const std::vector<Part> &parts = table.parts();
    const std::vector<std::string_view> &names = table.names();
    PartPositions byName;
    std::vector<std::size_t> bucketStart;
    bucketByName(table, byName, bucketStart);

    const std::vector<std::size_t> nameOrder = namesInByteOrder(names);

    // At most one song per name, and never more message-ids than parts.
    grouped.songs.reserve(grouped.songs.size() + names.size());
    grouped.messageIds.reserve(grouped.messageIds.size() + parts.size());
    std::size_t made = 0;
    for (std::size_t name : nameOrder) {
        const auto begin = byName.begin() + static_cast<std::ptrdiff_t>(bucketStart[name]);
        const auto end = byName.begin() + static_cast<std::ptrdiff_t>(bucketStart[name + 1]);
        if (begin == end) continue;
        sortByPartIndex(begin, end, parts);
        // A part posted twice (a repost, very common) counts once: its first post is kept, as
        // the stable sort left it in front of the later ones.
        const auto distinctEnd = std::unique(
            begin, end, [&parts](std::size_t a, std::size_t b) { return parts[a].partIndex == parts[b].partIndex; });
        if (!isCompleteRun(begin, distinctEnd, parts)) continue;

        const Part &lowest = parts[*begin];
        grouped.songs.push_back({names[name], lowest.date(), lowest.partCount, grouped.messageIds.size()});
        for (auto j = begin; j < begin + lowest.partCount; ++j) grouped.messageIds.push_back(parts[*j].messageId());
        ++made;
    }
    return made;
}

}  // namespace corvane
