// Positions of the Subject, Lines, Message-ID, Date and Bytes fields in an overview line as this
// server sends it (the article number is position 0, so 0 stands for a field the server does not
// name). Learned by the server check, read by the search.
#pragma once

#include <atomic>
#include <cstdint>

namespace corvane {

struct OverviewLayout {
    int32_t subjectIndex = 0;
    int32_t linesIndex = 0;
    int32_t messageIdIndex = 0;
    int32_t dateIndex = 0;
    int32_t bytesIndex = 0;
};

OverviewLayout overviewLayout();
void storeOverviewLayout(const OverviewLayout &layout);

}  // namespace corvane
