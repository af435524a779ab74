#include "notify/song_count_trace.h"

#include <QDir>
#include <QFile>

namespace harbeat {

QString songCountLine(int32_t chunkIndex, int32_t chunkFill) {
    return QString::number(chunkIndex) + QStringLiteral(" x 1000 + ") + QString::number(chunkFill) +
           QStringLiteral("\r\n");
}

QString songCountTracePath() { return QDir::homePath() + QStringLiteral("/mp3songcount.txt"); }

void writeSongCountTrace(int32_t chunkIndex, int32_t chunkFill) {
    // A trace that cannot be written is skipped; it is a debugging aid only.
    QFile file(songCountTracePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(songCountLine(chunkIndex, chunkFill).toLatin1());
}

}  // namespace harbeat
