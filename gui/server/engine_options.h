// The engine's options beyond the news-server settings, set from the program's settings before
// every server check, and the overview cache folder the engine keeps for the searches.
#pragma once

#include <QString>

namespace harbeat {

// Sets every engine option from Settings through the engine's option export: encryption, the
// search depth and the overview cache folder.
void ApplyEngineOptions();

// $XDG_CACHE_HOME/harbeat/overview (by default ~/.cache/harbeat/overview).
QString OverviewCacheFolder();

// Removes every file of the overview cache: the next search reads each group whole again.
void EmptyOverviewCache();

}  // namespace harbeat
