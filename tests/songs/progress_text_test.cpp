#include <gtest/gtest.h>

#include <cstdio>

#include "songs/overview_batch.h"

using namespace corvane;

namespace {

std::string printfText(double value) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%3.2f", value);
    return std::string(buffer, static_cast<std::size_t>(n));
}

// The progress text must read exactly as "%3.2f" prints it, ties and all.
TEST(ProgressText, MatchesPrintf) {
    char buffer[64];
    for (int line = 0; line <= 20000; ++line) {
        for (double total : {3.0, 7.0, 119.0, 999999.0}) {
            const double value = (line + 1) * 100 / total;
            ASSERT_EQ(progressText(value, buffer), printfText(value)) << value;
        }
        ASSERT_EQ(progressText(line / 1000.0, buffer), printfText(line / 1000.0));
        ASSERT_EQ(progressText(line + 0.005, buffer), printfText(line + 0.005));
    }
    EXPECT_EQ(progressText(1e40, buffer), printfText(1e40));
}

// A run of values as one batch reports them: most reuse the previous text, and each must still
// read as printf prints it, also where a value crosses a rounding boundary.
TEST(ProgressTexts, ReusedTextsMatchPrintf) {
    for (double total : {3.0, 8.0, 119.0, 200000.0, 999999.0}) {
        ProgressTexts texts;
        for (int line = 0; line <= 300000; ++line) {
            const double value = (line + 1) * 100 / total;
            ASSERT_EQ(texts.text(value), printfText(value)) << value;
        }
    }
    ProgressTexts texts;
    for (double value : {0.125, 0.12499999999, 0.135, 0.004999, 0.005, 0.005000001, 99.995, 1e7 - 0.005, 1e7, 2.5e9})
        ASSERT_EQ(texts.text(value), printfText(value)) << value;
}

}  // namespace
