#include "songs/song_grouping.h"

#include <algorithm>

namespace corvane {
namespace {

bool sortsBefore(const OverviewEntry &a, const OverviewEntry &b) {
    // std::string compares through char_traits<char>, which orders bytes as unsigned values.
    const int byName = a.baseName.compare(b.baseName);
    return byName != 0 ? byName < 0 : a.partIndex < b.partIndex;
}

// True when parts[first] and the m - 1 parts after it form one run of consecutive part indexes
// under one base name.
bool isCompleteRun(const std::vector<OverviewEntry> &parts, std::size_t first) {
    const int32_t m = parts[first].partCount;
    if (m < 1) return false;
    const std::size_t end = first + static_cast<std::size_t>(m) - 1;  // index of the run's last part
    for (std::size_t j = first; j < end; ++j) {
        if (j + 1 >= parts.size()) return false;
        const OverviewEntry &here = parts[j];
        const OverviewEntry &next = parts[j + 1];
        if (next.baseName != here.baseName) return false;
        if (static_cast<int64_t>(next.partIndex) != static_cast<int64_t>(here.partIndex) + 1) return false;
    }
    return true;
}

}  // namespace

std::size_t groupSongs(std::vector<OverviewEntry> &parts, std::vector<GroupedSong> &songs) {
    std::stable_sort(parts.begin(), parts.end(), sortsBefore);

    std::size_t made = 0;
    std::size_t i = 0;
    while (i < parts.size()) {
        const bool complete = isCompleteRun(parts, i);
        std::size_t next = i + 1;
        while (next < parts.size() && parts[next].baseName == parts[i].baseName) ++next;

        if (complete) {
            const auto m = static_cast<std::size_t>(parts[i].partCount);
            GroupedSong song;
            song.partCount = parts[i].partCount;
            song.messageIds.reserve(m);
            for (std::size_t j = i; j < i + m; ++j) song.messageIds.push_back(std::move(parts[j].messageId));
            song.title = std::move(parts[i].baseName);
            song.date = std::move(parts[i].date);
            songs.push_back(std::move(song));
            ++made;
        }
        i = next;
    }
    return made;
}

}  // namespace corvane
