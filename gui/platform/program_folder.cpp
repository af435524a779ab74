#include "platform/program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace harbeat {

QString programFolder() { return QCoreApplication::applicationDirPath(); }

QString dataFile(const QString &fileName) { return programFolder() + QStringLiteral("/data/") + fileName; }

QString previewFolder() {
    const QString program = programFolder();
    if (QFileInfo(program).isWritable()) return program;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cache.isEmpty() && QDir().mkpath(cache)) return cache;
    return program;
}

QString defaultSaveFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && QDir().mkpath(music)) return music;
    return QDir::homePath();
}

}  // namespace harbeat
