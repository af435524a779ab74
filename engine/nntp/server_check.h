// The check of a news server's settings: can it be reached, does it take the login, does it
// carry the MP3 group and tell its overview format.
#pragma once

#include <cstdint>
#include <string>

#include "core/engine_options.h"
#include "core/engine_settings.h"

namespace corvane {

// Sets *serverReachable to -1 once a plain connection succeeds and *postingAllowed to -1 when the
// greeting allows posting and the whole check passed (either pointer may be null). Returns 1 when
// the server can be used; otherwise `error` holds the reason.
int checkServer(std::string &error, const EngineSettings &settings, int32_t *serverReachable, int32_t *postingAllowed);

// The check of the backup server of `options`, when one is set: connects, reads the greeting and
// logs in. Empty when it passed or none is set; otherwise a warning naming the backup server.
// The backup never decides whether the main server can be used.
std::string checkBackupServer(const EngineSettings &settings, const EngineOptions &options);

}  // namespace corvane
