#include "core/engine_options.h"

#include <algorithm>
#include <charconv>
#include <mutex>

namespace corvane {
namespace {

// Never destroyed: a detached worker may still read them while the program exits.
std::mutex &optionsMutex = *new std::mutex;
EngineOptions &storedOptions = *new EngineOptions;

// A whole decimal number without sign, blanks or other characters, within [lowest, highest].
bool parseWholeNumber(std::string_view text, int64_t lowest, int64_t highest, int64_t &value) {
    if (text.empty() || text.size() > 19) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    int64_t parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    if (parsed < lowest || parsed > highest) return false;
    value = parsed;
    return true;
}

// A path: any text up to the length limit without control characters (a CR LF or NUL in a path
// is a caller's mistake, never a real folder name).
bool validPath(std::string_view text) {
    if (text.size() > kMaxOptionPath) return false;
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// A host name, user name or password: a line of its own in a command, so without control
// characters, and no longer than the main server's.
bool validServerText(std::string_view text) {
    if (text.size() > kMaxBackupText) return false;
    return std::none_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

}  // namespace

bool setEngineOption(std::string_view name, std::string_view value) {
    std::lock_guard lock(optionsMutex);
    int64_t number = 0;
    if (name == "tls") {
        if (value != "0" && value != "1") return false;
        storedOptions.tls = value == "1";
    } else if (name == "tls-ca-file") {
        if (!validPath(value)) return false;
        storedOptions.tlsCaFile = value;
    } else if (name == "pipeline") {
        if (!parseWholeNumber(value, 1, kMaxPipeline, number)) return false;
        storedOptions.pipeline = static_cast<int>(number);
    } else if (name == "search-depth") {
        if (!parseWholeNumber(value, 0, INT64_MAX, number)) return false;
        storedOptions.searchDepth = number;
    } else if (name == "compress") {
        if (value != "0" && value != "1") return false;
        storedOptions.compress = value == "1";
    } else if (name == "connections") {
        if (!parseWholeNumber(value, 1, kMaxConnections, number)) return false;
        storedOptions.connections = static_cast<int>(number);
    } else if (name == "backup-host") {
        if (!validServerText(value) || value.find(' ') != std::string_view::npos) return false;
        storedOptions.backupHost = value;
    } else if (name == "backup-port") {
        if (!parseWholeNumber(value, 1, 65535, number)) return false;
        storedOptions.backupPort = static_cast<int32_t>(number);
    } else if (name == "backup-tls") {
        if (value != "0" && value != "1") return false;
        storedOptions.backupTls = value == "1";
    } else if (name == "backup-user") {
        if (!validServerText(value)) return false;
        storedOptions.backupUser = value;
    } else if (name == "backup-password") {
        if (!validServerText(value)) return false;
        storedOptions.backupPassword = value;
    } else if (name == "overview-cache") {
        if (!validPath(value)) return false;
        storedOptions.overviewCache = value;
    } else {
        return false;
    }
    return true;
}

EngineOptions engineOptions() {
    std::lock_guard lock(optionsMutex);
    return storedOptions;
}

void resetEngineOptionsForTests() {
    std::lock_guard lock(optionsMutex);
    storedOptions = EngineOptions{};
}

}  // namespace corvane
