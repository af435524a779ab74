#include "core/worker.h"

#include <pthread.h>

#include <new>
#include <thread>

#include "core/operation.h"

namespace corvane {

intptr_t startWorker(std::function<void()> body) {
    try {
        std::thread thread([body = std::move(body)] {
            // Nothing may escape a worker: an exception here would end the whole program.
            try {
                body();
            } catch (...) {
            }
        });
        const auto handle = static_cast<intptr_t>(thread.native_handle());
        thread.detach();
        return handle != 0 && handle != -1 ? handle : 1;
    } catch (...) {
        return -1;
    }
}

intptr_t startOperationWorker(std::function<void()> body) {
    Operation operation;
    try {
        operation = beginOperation(OperationKind::Worker);
    } catch (...) {
        return -1;
    }
    const intptr_t handle = startWorker([operation, body = std::move(body)] {
        OperationScope scope(operation);
        body();
    });
    if (handle == -1) abandonOperation(operation);
    return handle;
}

}  // namespace corvane
