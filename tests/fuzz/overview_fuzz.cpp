// A group's overview as a search handles it: every line parsed with the usual field layout,
// the usable ones kept in a parts table, the parts grouped into songs and each song formatted
// as the line the GUI receives.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "songs/overview_line.h"
#include "songs/parts_table.h"
#include "songs/song_grouping.h"
#include "songs/song_line.h"
#include "songs/title_prefixes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    // The first byte picks a field layout, so that unusual "list overview.fmt" orders are tried.
    const corvane::OverviewLayout layouts[] = {{1, 7, 4, 3, 6}, {1, 2, 3, 4, 5}, {4, 1, 2, 3, 0}, {31, 30, 29, 28, 40}};
    const corvane::OverviewLayout layout = size > 0 ? layouts[data[0] % 4] : layouts[0];
    corvane::PartsTable parts;
    std::size_t start = size > 0 ? 1 : 0;
    while (start < input.size()) {
        std::size_t end = input.find("\r\n", start);
        if (end == std::string_view::npos) end = input.size();
        corvane::OverviewEntry entry;
        if (corvane::parseOverviewLine(input.substr(start, end - start), layout, entry)) parts.add(entry);
        start = end + 2;
    }
    corvane::GroupedSongs grouped;
    corvane::groupSongs(parts, grouped);
    std::string title;
    std::string line;
    for (const corvane::GroupedSong &song : grouped.songs) {
        title = song.title;
        corvane::stripTitlePrefixes(title);
        if (!corvane::formatSongLine(title, "jazz", song.date, "alt.binaries.sounds.mp3", song.partCount,
                                     grouped.messageIdsOf(song), line))
            continue;
        // A song line ends once, and carries no NUL that would cut the GUI's copy.
        if (line.find('\0') != std::string::npos || line.find("\r\n") != line.size() - 2) __builtin_trap();
    }
    return 0;
}
