#include "core/operation.h"

#include <atomic>
#include <new>

#include "core/engine_settings.h"
#include "corvane_n.h"

namespace corvane {

struct OperationState {
    OperationKind kind = OperationKind::Call;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> superseded{false};
    // The running operations form a list; each is kept alive by its owner while it is in it.
    OperationState *previous = nullptr;
    OperationState *next = nullptr;
    bool listed = false;
};

namespace {

// Never destroyed, and holding no memory of its own: a detached worker may still end its
// operation while the program exits or the library is unloaded.
struct Registry {
    std::recursive_mutex reportMutex;
    std::mutex mutex;
    OperationState *first = nullptr;  // the running operations, guarded by mutex
};
Registry &registry() {
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry *const instance = new (storage) Registry;
    return *instance;
}
thread_local OperationState *current = nullptr;
// The cancel state of code that runs outside any operation (tests that call a reader directly).
std::atomic<bool> unboundCancel{false};

void unregister(OperationState *operation) {
    Registry &r = registry();
    std::lock_guard lock(r.mutex);
    if (!operation->listed) return;
    (operation->previous ? operation->previous->next : r.first) = operation->next;
    if (operation->next) operation->next->previous = operation->previous;
    operation->previous = operation->next = nullptr;
    operation->listed = false;
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
        for (OperationState *older = r.first; older; older = older->next) {
            if (older->kind != OperationKind::Worker) continue;
            older->superseded = true;
            older->cancelled = true;
        }
    }
    operation->next = r.first;
    if (r.first) r.first->previous = operation.get();
    r.first = operation.get();
    operation->listed = true;
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

OperationState *currentOperation() { return current; }

HelperScope::HelperScope(OperationState *operation) : previous_(current) { current = operation; }

HelperScope::~HelperScope() { current = previous_; }

void cancelRunningOperations() {
    std::lock_guard lock(registry().mutex);
    for (OperationState *operation = registry().first; operation; operation = operation->next)
        operation->cancelled = true;
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
