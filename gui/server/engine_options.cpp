#include "server/engine_options.h"

#include "engine/engine_binding.h"
#include "settings/settings.h"

namespace harbeat {

void ApplyEngineOptions() {
    // An engine without the option export ignores these; it then speaks plain NNTP as before.
    engine::mp3SetOption("tls", Settings.UseTLS ? "1" : "0");
}

}  // namespace harbeat
