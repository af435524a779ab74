#include "server/engine_options.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>

#include "engine/engine_binding.h"
#include "settings/settings.h"
#include "text/value_text.h"

namespace harbeat {

QString OverviewCacheFolder() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    // No cache location at all: the engine then runs without a cache rather than writing into
    // the working folder.
    if (cache.isEmpty()) return QString();
    return cache + QStringLiteral("/harbeat/overview");
}

void ApplyEngineOptions() {
    // An engine without the option export refuses these; it then speaks plain NNTP and reads
    // every group whole, as before.
    engine::mp3SetOption("tls", Settings.UseTLS ? "1" : "0");
    engine::mp3SetOption("tls-ca-file", engine::toEngineText(Settings.TLSCAFile).constData());
    engine::mp3SetOption("search-depth", QByteArray::number(static_cast<qlonglong>(Settings.SearchDepth)).constData());
    engine::mp3SetOption("connections", QByteArray::number(Settings.Connections).constData());
    engine::mp3SetOption("overview-cache", engine::toEngineText(OverviewCacheFolder()).constData());
    engine::mp3SetOption("compress", Settings.CompressOverviews ? "1" : "0");
    // The backup's host, login and port go as typed (trimmed); one the engine refuses leaves
    // the one in force, so a refused host is cleared rather than left pointing elsewhere.
    if (!engine::mp3SetOption("backup-host",
                              engine::toEngineText(trimBlanks(Settings.BackupServer.text())).constData()))
        engine::mp3SetOption("backup-host", "");
    engine::mp3SetOption("backup-port", QByteArray::number(Settings.BackupPort).constData());
    engine::mp3SetOption("backup-tls", Settings.BackupTLS ? "1" : "0");
    engine::mp3SetOption("backup-user", engine::toEngineText(trimBlanks(Settings.BackupUser.text())).constData());
    engine::mp3SetOption("backup-password",
                         engine::toEngineText(trimBlanks(Settings.BackupPassword.text())).constData());
}

void EmptyOverviewCache() {
    const QString folder = OverviewCacheFolder();
    if (folder.isEmpty()) return;
    // Only the cache's own files ("<group>-<16 hex digits>.ovc", and ones being written): the
    // folder may be a link, or hold files of the user's, which stay as they are.
    static const QRegularExpression cacheFile(QStringLiteral("^.+-[0-9a-f]{16}\\.ovc(\\.tmp-.{6})?$"));
    QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks)) {
        if (cacheFile.match(name).hasMatch()) dir.remove(name);
    }
}

}  // namespace harbeat
