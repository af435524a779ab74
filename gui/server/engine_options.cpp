#include "server/engine_options.h"

#include <QDir>
#include <QStandardPaths>

#include "engine/engine_binding.h"
#include "settings/settings.h"

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
    engine::mp3SetOption("search-depth", QByteArray::number(static_cast<qlonglong>(Settings.SearchDepth)).constData());
    engine::mp3SetOption("overview-cache", engine::toEngineText(OverviewCacheFolder()).constData());
}

void EmptyOverviewCache() {
    const QString folder = OverviewCacheFolder();
    if (!folder.isEmpty()) QDir(folder).removeRecursively();
}

}  // namespace harbeat
