#include "songs/nzb_songs.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "songs/part_number.h"
#include "songs/song_line.h"
#include "songs/title_prefixes.h"

namespace corvane {
namespace {

constexpr const char *kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char *kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool endsWithMp3(std::string_view name) {
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (name.size() < 4) return false;
    const std::string_view end = name.substr(name.size() - 4);
    return end[0] == '.' && (end[1] == 'm' || end[1] == 'M') && (end[2] == 'p' || end[2] == 'P') && end[3] == '3';
}

// The title an NZB file is listed under: the subject read as the search reads a subject. A
// subject without a part number still names the file ("Song.flac"), so it is used whole.
std::string titleOf(const NzbFile &file) {
    std::string_view baseName;
    int32_t partIndex = 0;
    int32_t partCount = 0;
    if (parseSongSubject(file.subject, baseName, partIndex, partCount) < 0)
        baseName = std::string_view(file.subject).substr(0, kBaseNameCapacity);
    std::string title(baseName);
    cleanSongTitle(title);
    return title;
}

// The file's segments in number order, one per number (the first one listed wins).
void orderedSegments(const NzbList &list, const NzbFile &file, std::vector<NzbSegment> &segments) {
    const auto first = list.segments.begin() + static_cast<std::ptrdiff_t>(file.firstSegment);
    segments.assign(first, first + static_cast<std::ptrdiff_t>(file.segmentCount));
    std::stable_sort(segments.begin(), segments.end(),
                     [](const NzbSegment &a, const NzbSegment &b) { return a.number < b.number; });
    segments.erase(std::unique(segments.begin(), segments.end(),
                               [](const NzbSegment &a, const NzbSegment &b) { return a.number == b.number; }),
                   segments.end());
}

}  // namespace

bool namesSongFile(std::string_view title) {
    for (std::size_t open = title.find('"'); open != std::string_view::npos;) {
        const std::size_t close = title.find('"', open + 1);
        if (close == std::string_view::npos) break;
        if (endsWithMp3(title.substr(open + 1, close - open - 1))) return true;
        open = title.find('"', close + 1);
    }
    return endsWithMp3(title);
}

std::string nzbDateText(int64_t seconds) {
    if (seconds < 0) return {};
    const auto time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&time, &utc)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDayNames[utc.tm_wday % 7], utc.tm_mday,
                  kMonthNames[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

int64_t sendNzbSongLines(const NzbList &list, const std::function<void(std::string_view line)> &send) {
    int64_t sent = 0;
    std::vector<NzbSegment> segments;
    std::string ids;
    std::vector<std::string_view> idViews;
    std::string line;
    for (const NzbFile &file : list.files) {
        if (file.segmentCount == 0) continue;
        const std::string title = titleOf(file);
        if (!namesSongFile(title)) continue;
        orderedSegments(list, file, segments);

        std::size_t length = 0;
        for (const NzbSegment &segment : segments) length += segment.idLength + 2;
        ids.clear();
        ids.reserve(length);  // the views below point into it: no reallocation after this
        idViews.clear();
        for (const NzbSegment &segment : segments) {
            const std::size_t at = ids.size();
            ids += '<';
            ids += list.messageId(segment);
            ids += '>';
            idViews.emplace_back(ids.data() + at, ids.size() - at);
        }
        if (!formatSongLine(title, kNzbCategory, nzbDateText(file.date), file.firstGroup,
                            static_cast<int32_t>(segments.size()), idViews, line))
            continue;
        send(line);
        ++sent;
    }
    return sent;
}

}  // namespace corvane
