// State that several windows of the program share (GUI thread only).
#pragma once

#include <QStringList>
#include <cstdint>

namespace harbeat {

// The server check let the main window become ready. Written by the engine's server check as
// its "server reachable" answer (-1 for yes), so it is a 32-bit integer: non-zero means true.
extern int32_t SearchReady;
// The user quit during start-up.
extern bool QuitRequested;
// 60 when the program was started with the command line "debug log", else 0.
extern int32_t DebugLevel;

inline constexpr int32_t kDebugLevelLog = 60;

// kDebugLevelLog when the arguments (without the program name, after Qt took its own) joined
// with single blanks are exactly "debug log"; else 0.
int32_t DebugLevelFromArguments(const QStringList &arguments);

}  // namespace harbeat
