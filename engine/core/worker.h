// Worker threads of the three long operations.
#pragma once

#include <cstdint>
#include <functional>

namespace corvane {

// Starts `body` on a detached thread. Returns a non-zero thread value, or -1 when no thread
// could be started. The body owns everything it captured.
intptr_t startWorker(std::function<void()> body);

// Starts `body` like startWorker as a new worker operation with its own cancel state
// (core/operation.h); it supersedes the workers started before it.
intptr_t startOperationWorker(std::function<void()> body);

}  // namespace corvane
