// Positions of the Subject, Lines, Message-ID and Date fields in an overview line as this server
// sends it (the article number is position 0). Learned by the server check, read by the search.
#pragma once

#include <atomic>
#include <cstdint>

namespace corvane {

struct OverviewLayout {
    int32_t subjectIndex = 0;
    int32_t linesIndex = 0;
    int32_t messageIdIndex = 0;
    int32_t dateIndex = 0;
};

OverviewLayout overviewLayout();
void storeOverviewLayout(const OverviewLayout &layout);

}  // namespace corvane
