// Every operation of the engine has its own cancel state: a worker's run (search, download,
// newsgroup list) or a call that runs on the caller's thread (server check, post, HTTP fetch).
//
// A thread running an operation holds it in a thread-local pointer, so `cancelRequested()` (in
// engine_settings.h) answers for that operation alone. mp3CancelFunc cancels every running one;
// starting a worker never clears the cancel of another. A new worker supersedes the older ones:
// they are cancelled and none of their reports reaches the GUI any more, so a report of an old
// search can never land in the list of the new one. A cancelled operation's reports are dropped
// too, except the ones that end an operation (9001, 9003, 9005, 9007), while no newer worker
// has started.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace corvane {

struct OperationState;
using Operation = std::shared_ptr<OperationState>;

enum class OperationKind {
    Worker,  // supersedes the workers started before it
    Call,    // runs on the caller's thread and supersedes nothing
};

// Registers a new running operation (cancelled by cancelRunningOperations from now on).
Operation beginOperation(OperationKind kind);

// Unregisters an operation that never ran (its thread could not be started).
void abandonOperation(const Operation &operation);

// Runs this thread's code as `operation` for the scope's life, then unregisters it.
class OperationScope {
public:
    explicit OperationScope(Operation operation);
    ~OperationScope();
    OperationScope(const OperationScope &) = delete;
    OperationScope &operator=(const OperationScope &) = delete;

private:
    Operation operation_;
    OperationState *previous_;
};

// The operation this thread runs, or null.
OperationState *currentOperation();

// Runs a helper thread of an operation (a second connection of a search or a save) as part of
// it for the scope's life: it sees the operation's cancel. The operation's own thread joins its
// helpers before its scope ends.
class HelperScope {
public:
    explicit HelperScope(OperationState *operation);
    ~HelperScope();
    HelperScope(const HelperScope &) = delete;
    HelperScope &operator=(const HelperScope &) = delete;

private:
    OperationState *previous_;
};

// Cancels every running operation (mp3CancelFunc).
void cancelRunningOperations();

// Held while a report is checked and handed to the callback, so that no report of an operation
// slips through once a newer worker has started. Unlocked on a thread without an operation.
std::unique_lock<std::recursive_mutex> lockReports();

// Whether this thread's report with `code` may reach the GUI; called with the reports locked.
bool reportAllowed(int32_t code);

}  // namespace corvane
