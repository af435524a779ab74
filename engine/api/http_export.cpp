// httpOpenURL: fetches a small text over HTTP on the caller's thread.
#include "core/error_text.h"
#include "core/operation.h"
#include "corvane_n.h"
#include "http/http_fetch.h"

using namespace corvane;

extern "C" const char *CORVANE_CALL httpOpenURL(const char *address) {
    try {
        const OperationScope operation(beginOperation(OperationKind::Call));
        return httpFetch(address);
    } catch (...) {
        // The message is a literal, so its text stays valid and zero-terminated.
        return kOutOfMemory.data();
    }
}
