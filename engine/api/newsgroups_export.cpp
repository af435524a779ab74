// mp3GetNewsgroups: starts the newsgroup list on a worker thread.
#include <string>
#include <utility>

#include "core/engine_settings.h"
#include "core/worker.h"
#include "corvane_n.h"
#include "nntp/newsgroup_list.h"

using namespace corvane;

extern "C" intptr_t CORVANE_CALL mp3GetNewsgroups(const char *nameFilter, const char *date) {
    try {
        // The worker gets its own copies, so the caller's texts need not outlive this call.
        std::string filter = copyArgument(nameFilter, kNameFilterCapacity);
        std::string since = copyArgument(date, kNewGroupsDateCapacity);
        return startOperationWorker(
            [filter = std::move(filter), since = std::move(since)] { newsgroupListWorker(filter, since); });
    } catch (...) {
        return -1;
    }
}
