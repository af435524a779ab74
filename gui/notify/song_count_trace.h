// The song-count trace of a debug run: how many song lines a running search has delivered.
#pragma once

#include <QString>
#include <cstdint>

namespace harbeat {

// "<chunkIndex> x 1000 + <chunkFill>" and CR LF, for example "2 x 1000 + 345\r\n".
QString songCountLine(int32_t chunkIndex, int32_t chunkFill);
// $HOME/mp3songcount.txt.
QString songCountTracePath();
// Replaces the trace file with the one line for these counters.
void writeSongCountTrace(int32_t chunkIndex, int32_t chunkFill);

}  // namespace harbeat
