// Per-test surroundings for engine tests: a temporary HOME (for the debug log), a short receive
// wait, a recording report callback, and a clean cancel flag.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane_n.h"

namespace harbeat::test {

struct Report {
    int32_t code;
    std::string text;  // UTF-8
    bool operator==(const Report &) const = default;
};

// Records every report the engine sends, in order, as UTF-8.
class ReportRecorder {
public:
    static StatusCallback callback();
    static void clear();
    static std::vector<Report> reports();
    // Waits until a report with one of the codes arrives; false after the timeout.
    static bool waitFor(std::vector<int32_t> codes, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the number of reports stays unchanged for `quiet`.
    static void waitQuiet(std::chrono::milliseconds quiet = std::chrono::milliseconds(200));
    static std::u16string lastRawText();
};

// A fresh temporary folder set as HOME for the test's life; restores the old HOME after.
class TemporaryHome {
public:
    TemporaryHome();
    ~TemporaryHome();
    const std::filesystem::path &path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string oldHome_;
    bool hadHome_ = false;
};

// Shortens the engine's receive wait for the test's life (the product waits 60 s).
class ShortReceiveWait {
public:
    explicit ShortReceiveWait(std::chrono::milliseconds wait = std::chrono::milliseconds(300));
    ~ShortReceiveWait();
};

std::string readFile(const std::filesystem::path &path);
std::string utf16ToUtf8(const std::u16string &text);

}  // namespace harbeat::test
