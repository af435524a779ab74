// What the program's benchmarks share: a platform that answers at once (no box, beep or pause
// costs anything) and song lines as the engine sends them.
#pragma once

#include <QElapsedTimer>
#include <string>

#include "platform/platform.h"

namespace harbeat::bench {

class InstantPlatform final : public Platform {
public:
    void messageBox(QWidget *, const QString &, BoxIcon) override {}
    bool askOkCancel(QWidget *, const QString &) override { return true; }
    void beep() override {}
    bool documentOpen(QWidget *, const QString &) override { return true; }
    QString pickFolder(QWidget *, const QString &, const QString &) override { return {}; }
    QString pickFile(QWidget *, const QString &, const QString &) override { return {}; }
    void pause(int, QWidget *) override {}
    void endProgram() override {}
};

// A SongLine as the engine sends it: title, category, date, newsgroup, parts, message-ids.
inline std::u16string songLine(int number) {
    const std::string digits = std::to_string(number * 7919 % 1000003);
    std::string line = "\tArtist " + digits + " - A Song Title Of Some Length " + std::to_string(number) +
                       ".mp3\tjazz\tSat, 12 Jun 1999 14:22:33 GMT\talt.binaries.sounds.mp3.jazz\t5\t";
    for (int part = 1; part <= 5; ++part) line += "<part" + std::to_string(part) + "of5." + digits + "@news.example>\f";
    line += "\r\n";
    return std::u16string(line.begin(), line.end());
}

inline double milliseconds(const QElapsedTimer &timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

}  // namespace harbeat::bench
