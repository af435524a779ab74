// The engine's process-wide options, set from Settings before every server check, so the engine
// always works with what the user chose.
#pragma once

namespace harbeat {

// Sets every engine option from Settings through the engine's option export.
void ApplyEngineOptions();

}  // namespace harbeat
