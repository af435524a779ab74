#include "support/test_environment.h"

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "net/connection.h"

namespace harbeat::test {
namespace {

std::mutex reportMutex;
std::condition_variable reportCv;
std::vector<Report> recorded;
std::u16string lastRaw;

void CORVANE_CALL recordReport(int32_t code, const char16_t *text) {
    std::u16string wide = text ? std::u16string(text) : std::u16string();
    std::lock_guard lock(reportMutex);
    recorded.push_back({code, utf16ToUtf8(wide)});
    lastRaw = std::move(wide);
    reportCv.notify_all();
}

}  // namespace

StatusCallback ReportRecorder::callback() { return &recordReport; }

void ReportRecorder::clear() {
    std::lock_guard lock(reportMutex);
    recorded.clear();
    lastRaw.clear();
}

std::vector<Report> ReportRecorder::reports() {
    std::lock_guard lock(reportMutex);
    return recorded;
}

std::u16string ReportRecorder::lastRawText() {
    std::lock_guard lock(reportMutex);
    return lastRaw;
}

bool ReportRecorder::waitFor(std::vector<int32_t> codes, std::chrono::milliseconds timeout) {
    std::unique_lock lock(reportMutex);
    // Each wake-up looks at the reports that came since the last one only: a search sends a
    // hundred thousand progress reports, and scanning them all on each would take minutes under
    // the sanitizers while holding up the reporting thread.
    std::size_t checked = 0;
    return reportCv.wait_for(lock, timeout, [&] {
        if (checked > recorded.size()) checked = 0;  // cleared meanwhile
        for (; checked < recorded.size(); ++checked)
            for (int32_t c : codes)
                if (recorded[checked].code == c) return true;
        return false;
    });
}

void ReportRecorder::waitQuiet(std::chrono::milliseconds quiet) {
    std::size_t last = reports().size();
    for (;;) {
        std::this_thread::sleep_for(quiet);
        const std::size_t now = reports().size();
        if (now == last) return;
        last = now;
    }
}

TemporaryHome::TemporaryHome() {
    if (const char *home = std::getenv("HOME")) {
        hadHome_ = true;
        oldHome_ = home;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "harbeat-home-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
    setenv("HOME", path_.c_str(), 1);
}

TemporaryHome::~TemporaryHome() {
    if (hadHome_)
        setenv("HOME", oldHome_.c_str(), 1);
    else
        unsetenv("HOME");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ShortReceiveWait::ShortReceiveWait(std::chrono::milliseconds wait) { corvane::setReceiveTimeoutForTests(wait); }
ShortReceiveWait::~ShortReceiveWait() { corvane::setReceiveTimeoutForTests(std::chrono::milliseconds(60000)); }

std::string readFile(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string utf16ToUtf8(const std::u16string &text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace harbeat::test
