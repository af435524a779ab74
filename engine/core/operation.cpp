#include "core/operation.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "core/engine_settings.h"
#include "corvane_n.h"

namespace corvane {

struct OperationState {
    OperationKind kind = OperationKind::Call;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> superseded{false};
};

namespace {

// Never destroyed: a detached worker may still end its operation while the program exits.
struct Registry {
    std::recursive_mutex reportMutex;
    std::mutex mutex;
    std::vector<Operation> running;  // guarded by mutex
};
Registry &registry() {
    static Registry *const instance = new Registry;
    return *instance;
}
thread_local OperationState *current = nullptr;
// The cancel state of code that runs outside any operation (tests that call a reader directly).
std::atomic<bool> unboundCancel{false};

void unregister(const OperationState *operation) {
    std::lock_guard lock(registry().mutex);
    std::erase_if(registry().running, [operation](const Operation &o) { return o.get() == operation; });
}

bool endsAnOperation(int32_t code) {
    return code == kNotifyError || code == kNotifySearchDone || code == kNotifySaveDone || code == kNotifyDownloadDone;
}

}  // namespace

Operation beginOperation(OperationKind kind) {
    auto operation = std::make_shared<OperationState>();
    operation->kind = kind;
    // Under the report lock: once this returns, no report of a superseded worker is delivered.
    Registry &r = registry();
    std::lock_guard reports(r.reportMutex);
    std::lock_guard lock(r.mutex);
    if (kind == OperationKind::Worker) {
        for (const Operation &older : r.running) {
            if (older->kind != OperationKind::Worker) continue;
            older->superseded = true;
            older->cancelled = true;
        }
    }
    r.running.push_back(operation);
    return operation;
}

void abandonOperation(const Operation &operation) { unregister(operation.get()); }

OperationScope::OperationScope(Operation operation) : operation_(std::move(operation)), previous_(current) {
    current = operation_.get();
}

OperationScope::~OperationScope() {
    current = previous_;
    unregister(operation_.get());
}

void cancelRunningOperations() {
    std::lock_guard lock(registry().mutex);
    for (const Operation &operation : registry().running) operation->cancelled = true;
}

std::unique_lock<std::recursive_mutex> lockReports() {
    if (!current) return {};
    return std::unique_lock(registry().reportMutex);
}

bool reportAllowed(int32_t code) {
    if (!current) return true;
    if (current->superseded) return false;
    return !current->cancelled || endsAnOperation(code);
}

void setCancelRequested(bool requested) { (current ? current->cancelled : unboundCancel).store(requested); }

bool cancelRequested() { return (current ? current->cancelled : unboundCancel).load(); }

}  // namespace corvane
