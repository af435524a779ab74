#include "songs/song_grouping.h"

#include <algorithm>
#include <future>
#include <new>
#include <numeric>
#include <system_error>

#include "core/huge_pages.h"
#include "songs/name_order.h"

namespace corvane {
namespace {

using Part = PartsTable::Part;

// A part as grouping sees it: where it lies in the table, and its part index held beside it, so
// that sorting and checking a song's parts reads them side by side instead of from all over the
// table.
struct Slot {
    uint32_t part;
    int32_t partIndex;
};
using Slots = std::vector<Slot>;

// The parts, bucketed by base name with a counting sort, each bucket in arrival order. Bucket n
// spans [bucketStart[n], bucketStart[n + 1]).
void bucketByName(const PartsTable &table, Slots &byName, std::vector<std::size_t> &bucketStart) {
    const std::vector<Part> &parts = table.parts();
    bucketStart.assign(table.names().size() + 1, 0);
    for (const Part &part : parts) ++bucketStart[part.name + 1];
    std::partial_sum(bucketStart.begin(), bucketStart.end(), bucketStart.begin());
    std::vector<std::size_t> next(bucketStart.begin(), bucketStart.end() - 1);
    // Eight bytes a part; a table of more than four thousand million parts would not fit in
    // memory anyway.
    if (parts.size() > UINT32_MAX) throw std::bad_alloc();
    byName.reserve(parts.size());
    adviseHugePages(byName.data(), parts.size() * sizeof(Slot));
    byName.resize(parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i)
        byName[next[parts[i].name]++] = {static_cast<uint32_t>(i), parts[i].partIndex};
}

// A stable sort by part index. Buckets hold one song's parts, a handful as a rule, for which
// an insertion sort beats a merge sort and needs no buffer.
void sortByPartIndex(Slots::iterator begin, Slots::iterator end) {
    const auto lower = [](const Slot &a, const Slot &b) { return a.partIndex < b.partIndex; };
    if (end - begin > 32) {
        std::stable_sort(begin, end, lower);
        return;
    }
    for (auto i = begin + 1; i < end; ++i)
        for (auto j = i; j > begin && lower(*j, *(j - 1)); --j) std::iter_swap(j, j - 1);
}

// True when the lowest part of the bucket (with part count m) and the m - 1 after it carry
// consecutive part indexes.
bool isCompleteRun(Slots::const_iterator begin, Slots::const_iterator end, int32_t m) {
    if (m < 1 || m > end - begin) return false;
    for (auto j = begin; j + 1 < begin + m; ++j)
        if (static_cast<int64_t>((j + 1)->partIndex) != static_cast<int64_t>(j->partIndex) + 1) return false;
    return true;
}

}  // namespace

std::size_t groupSongs(const PartsTable &table, GroupedSongs &grouped) {
    const std::vector<Part> &parts = table.parts();
    const std::vector<std::string_view> &names = table.names();
    // The names are put in byte order on a second thread meanwhile: that needs nothing but the
    // names, and takes as long as finding the songs.
    std::future<std::vector<std::size_t>> nameOrder;
    try {
        nameOrder = std::async(std::launch::async, [&names] { return namesInByteOrder(names); });
    } catch (const std::system_error &) {
        nameOrder = std::async(std::launch::deferred, [&names] { return namesInByteOrder(names); });
    }
    Slots byName;
    std::vector<std::size_t> bucketStart;
    bucketByName(table, byName, bucketStart);

    // First the songs, name by name in the order the names arrived, which is nearly the order of
    // the parts in the table and of their texts, so that their reads mostly hit the cache;
    // then the songs in the byte order of their names. At most one song per name, and never
    // more message-ids than parts.
    constexpr std::size_t kNoSong = SIZE_MAX;
    std::vector<std::size_t> songOfName(names.size(), kNoSong);
    std::vector<GroupedSong> found;
    found.reserve(names.size());
    grouped.messageIds.reserve(grouped.messageIds.size() + parts.size());
    adviseHugePages(grouped.messageIds.data(), grouped.messageIds.capacity() * sizeof(std::string_view));
    for (std::size_t name = 0; name < names.size(); ++name) {
        const auto begin = byName.begin() + static_cast<std::ptrdiff_t>(bucketStart[name]);
        const auto end = byName.begin() + static_cast<std::ptrdiff_t>(bucketStart[name + 1]);
        if (begin == end) continue;
        sortByPartIndex(begin, end);
        // A part posted twice (a repost, very common) counts once: its first post is kept, as
        // the stable sort left it in front of the later ones.
        const auto distinctEnd =
            std::unique(begin, end, [](const Slot &a, const Slot &b) { return a.partIndex == b.partIndex; });
        const Part &lowest = parts[begin->part];
        if (!isCompleteRun(begin, distinctEnd, lowest.partCount)) continue;

        songOfName[name] = found.size();
        found.push_back({names[name], lowest.date(), lowest.partCount, grouped.messageIds.size()});
        for (auto j = begin; j < begin + lowest.partCount; ++j)
            grouped.messageIds.push_back(parts[j->part].messageId());
    }

    grouped.songs.reserve(grouped.songs.size() + found.size());
    for (std::size_t name : nameOrder.get())
        if (songOfName[name] != kNoSong) grouped.songs.push_back(found[songOfName[name]]);
    const std::size_t made = found.size();
    return made;
}

}  // namespace corvane
