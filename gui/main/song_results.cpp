#include "main/song_results.h"

#include <QSet>
#include <QStringView>

#include "main/song_date.h"
#include "main/song_list_model.h"

namespace harbeat {
namespace {

// The field that starts at `from` and ends before the next TAB (or at the end of the line);
// `from` moves behind that TAB.
QStringView nextField(QStringView line, qsizetype &from) {
    if (from >= line.size()) return {};
    const qsizetype tab = line.indexOf(u'\t', from);
    const qsizetype end = tab < 0 ? line.size() : tab;
    const QStringView field = line.sliced(from, end - from);
    from = tab < 0 ? line.size() : tab + 1;
    return field;
}

// Whether the title contains ".MP3" in any letter case. Only ASCII letters upper-case to "M" and
// "P", so comparing the ASCII letters is the same as comparing the upper-cased title.
bool hasMp3Extension(QStringView title) {
    for (qsizetype i = 0; i + 3 < title.size(); ++i) {
        if (title[i] != u'.') continue;
        const char16_t m = title[i + 1].unicode();
        const char16_t p = title[i + 2].unicode();
        if ((m == u'm' || m == u'M') && (p == u'p' || p == u'P') && title[i + 3] == u'3') return true;
    }
    return false;
}

// The position of the next CR LF at or after `from`, or -1.
qsizetype nextLineEnd(QStringView chunk, qsizetype from) {
    for (qsizetype lf = chunk.indexOf(u'\n', from + 1); lf >= 0; lf = chunk.indexOf(u'\n', lf + 1))
        if (chunk[lf - 1] == u'\r') return lf - 1;
    return -1;
}

}  // namespace

std::vector<SongRecord> ParseSongChunks(const std::vector<QString> &songChunks, int32_t chunkIndex) {
    std::vector<SongRecord> results;
    QSet<QString> titlesTaken;
    // Every song of a group carries the same category: share one text instead of a copy each.
    QSet<QString> categories;
    const auto lastChunk =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(chunkIndex, 0)) + 1, songChunks.size());
    for (std::size_t k = 0; k < lastChunk; ++k) {
        const QStringView chunk = songChunks[k];
        for (qsizetype position = 0; position < chunk.size() - 1;) {
            const qsizetype end = nextLineEnd(chunk, position);
            if (end < 0) break;
            const QStringView line = chunk.sliced(position, end - position);
            position = end + 2;

            qsizetype from = 1;  // behind the TAB that starts every line
            const QStringView title = nextField(line, from);
            if (!hasMp3Extension(title)) continue;
            QString titleText = title.toString();
            const auto titlesBefore = titlesTaken.size();
            titlesTaken.insert(titleText);
            if (titlesTaken.size() == titlesBefore) continue;

            SongRecord record;
            record.title = std::move(titleText);
            record.category = *categories.insert(nextField(line, from).toString());
            record.date = songDateText(nextField(line, from).toString());
            record.songId = line.sliced(std::min(from, line.size())).toString();
            results.push_back(std::move(record));
        }
    }
    return results;
}

void FillSongList(SongListModel &list, const std::vector<SongRecord> &results, const QString &keyword) {
    std::vector<SongRecord> shown;
    if (keyword.isEmpty()) {
        shown = results;
    } else {
        for (const SongRecord &record : results)
            if (record.title.contains(keyword, Qt::CaseInsensitive)) shown.push_back(record);
    }
    list.appendRecords(std::move(shown));
}

}  // namespace harbeat
