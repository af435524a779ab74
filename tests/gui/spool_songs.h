// The song files that the posts of a spool group carry, decoded independently of the engine, so
// tests can compare what the program saved byte for byte.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <map>

namespace harbeat::guitest {

// File name to bytes: uuencoded and yEnc songs over all their parts, and single MIME articles
// with a Base64 attachment. Songs that miss a part are left out.
std::map<QString, QByteArray> postedSongFiles(const QString &groupFolder);

// The file names of the complete yEnc songs among them.
QStringList postedYencSongs(const QString &groupFolder);

}  // namespace harbeat::guitest
