// Worker threads of the three long operations.
#pragma once

#include <cstdint>
#include <functional>

namespace corvane {

// Starts `body` on a detached thread. Returns a non-zero thread value, or -1 when no thread
// could be started. The body owns everything it captured.
intptr_t startWorker(std::function<void()> body);

}  // namespace corvane
