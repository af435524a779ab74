// An engine for window tests that records what the window asks of it and does nothing: the
// operations that start workers return at once and no report ever comes unless the test sends
// it. Every other export is absent.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace harbeat::guitest {

struct EngineCall {
    // "mp3GetSongs", "mp3BuildSongs", "mp3OpenNzb" or "mp3CancelFunc".
    QString name;
    QStringList arguments;
    bool operator==(const EngineCall &) const = default;
};

// Routes the program's engine calls here; call before any engine call of the test program.
void useRecordingEngine();
// The calls so far, in order.
std::vector<EngineCall> &engineCalls();

}  // namespace harbeat::guitest
