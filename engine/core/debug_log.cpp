#include "core/debug_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace corvane {
namespace {

std::atomic<bool> logging{false};
// Appends from a worker and from a synchronous call may meet; keep each block whole.
std::mutex appendMutex;

// The log holds the login as sent to the server: only its owner may read it. A log left
// readable by an older version is made private as well.
FILE *openLog(int mode) {
    const int fd = open(debugLogPath().c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | mode, 0600);
    if (fd < 0) return nullptr;
    fchmod(fd, 0600);
    FILE *f = fdopen(fd, "ab");
    if (!f) close(fd);
    return f;
}

void appendToLog(const char *bytes, std::size_t length) {
    std::lock_guard lock(appendMutex);
    FILE *f = openLog(O_APPEND);
    if (!f) return;
    if (length) std::fwrite(bytes, 1, length, f);
    std::fclose(f);
}

}  // namespace

std::string debugLogPath() {
    const char *home = std::getenv("HOME");
    std::string path = home && *home ? home : ".";
    return path + "/HarbeatLog.txt";
}

void debugLogStart() {
    {
        std::lock_guard lock(appendMutex);
        if (FILE *f = openLog(O_TRUNC)) {
            std::fwrite("START\r\n", 1, 7, f);
            std::fclose(f);
        }
    }
    logging.store(true);
}

void debugLogStop() { logging.store(false); }
bool debugLogOn() { return logging.load(); }

void debugLogAppend(const char *bytes, std::size_t length) {
    if (logging.load()) appendToLog(bytes, length);
}

void debugLogError(std::string_view message) {
    if (!logging.load()) return;
    std::string line = "ERROR: ";
    line.append(message);
    line += "\r\n";
    appendToLog(line.data(), line.size());
}

}  // namespace corvane
