// Large tables that are filled once, front to back: backing them with huge pages saves the
// system one page fault per 4 kB, which costs more than writing the page.
#pragma once

#include <cstddef>

namespace corvane {

// Asks the system to back the whole 2 MB pages inside [data, data + bytes) with huge pages as they
// are first touched. A hint only: nothing changes when the system declines.
void adviseHugePages(const void *data, std::size_t bytes);

}  // namespace corvane
