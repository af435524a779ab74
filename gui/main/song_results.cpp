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

}  // namespace

std::vector<SongRecord> ParseSongChunks(const std::vector<QString> &songChunks, int32_t chunkIndex) {
    std::vector<SongRecord> results;
    QSet<QString> titlesTaken;
    const QStringView lineEnd = u"\r\n";
    const auto lastChunk =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(chunkIndex, 0)) + 1, songChunks.size());
    for (std::size_t k = 0; k < lastChunk; ++k) {
        const QStringView chunk = songChunks[k];
        for (qsizetype position = 0; position < chunk.size() - 1;) {
            const qsizetype end = chunk.indexOf(lineEnd, position);
            if (end < 0) break;
            const QStringView line = chunk.sliced(position, end - position);
            position = end + lineEnd.size();

            qsizetype from = 1;  // behind the TAB that starts every line
            const QStringView title = nextField(line, from);
            if (!title.contains(u".MP3", Qt::CaseInsensitive)) continue;
            QString titleText = title.toString();
            if (titlesTaken.contains(titleText)) continue;
            titlesTaken.insert(titleText);

            SongRecord record;
            record.title = std::move(titleText);
            record.category = nextField(line, from).toString();
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
