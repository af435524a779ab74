#include "http/http_fetch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <mutex>

#include "core/engine_settings.h"
#include "core/error_text.h"

namespace corvane {
namespace {

constexpr int32_t kHttpPort = 80;
// The fetch is meant for small texts; a server that never stops sending is cut off here.
constexpr std::size_t kMaxHttpDataBytes = 256u * 1024u * 1024u;

std::atomic<int32_t> portForTests{0};

// The texts handed to the caller: the last data received and the last failure's message. Calls
// come from the GUI thread; the lock only keeps two calls from different threads apart.
std::mutex fetchMutex;
std::string dataText;
char errorBuffer[kHttpErrorBufferSize];

const char *failWith(std::string_view message) {
    const std::size_t n = std::min(message.size(), kHttpErrorBufferSize - 1);
    std::memcpy(errorBuffer, message.data(), n);
    errorBuffer[n] = '\0';
    return errorBuffer;
}

// The host is the text up to the first "/", after any leading slashes.
std::string_view hostOf(std::string_view address) {
    const std::size_t start = std::min(address.find_first_not_of('/'), address.size());
    const std::string_view rest = address.substr(start);
    return rest.substr(0, rest.find('/'));
}

// Connect, send the one request line, read to the end, close. The connection is closed on
// every path.
int fetchInto(std::string &error, std::string_view address, std::string &data) {
    const int32_t testPort = portForTests.load();
    const Connection connection = netConnectPlain(error, hostOf(address), testPort ? testPort : kHttpPort, nullptr);
    if (!connection) return 0;
    int fetched;
    try {
        std::string request = "GET http://";
        request.append(address);
        request += "\r\n";
        fetched = netSend(error, connection, request) && httpReadToEnd(error, connection, data);
    } catch (const std::exception &) {
        error = kOutOfMemory;
        fetched = 0;
    }
    netClose(connection);
    return fetched;
}

}  // namespace

void setHttpPortForTests(int32_t port) { portForTests.store(port); }

int httpReadToEnd(std::string &error, Connection connection, std::string &data) {
    data.clear();
    // One deadline for the whole document: the fetch runs on the GUI's thread, and a server that
    // sends a byte now and then must not hold it for longer than one wait.
    const auto deadline = std::chrono::steady_clock::now() + receiveTimeout();
    char buffer[kReceiveBlock + 1];
    std::size_t size = kReceiveBlock;
    if (!netReceive(error, connection, buffer, size)) return 0;
    data.assign(buffer, size);
    for (;;) {
        if (cancelRequested()) {
            error = kCancelled;
            data.clear();
            return 0;
        }
        // A receive of nothing is the server's close: the document is complete.
        if (size == 0) return 1;
        if (std::chrono::steady_clock::now() >= deadline) {
            error = kTimedOut;
            data.clear();
            return 0;
        }
        size = kReceiveBlock;
        if (!netReceive(error, connection, buffer, size)) {
            data.clear();
            return 0;
        }
        if (data.size() + size > kMaxHttpDataBytes) {
            error = "Server response too large (more than 256 MB).";
            data.clear();
            return 0;
        }
        data.append(buffer, size);
    }
}

const char *httpFetch(const char *address) {
    std::lock_guard lock(fetchMutex);
    // The previous call's data is the caller's no longer.
    std::string().swap(dataText);
    const std::size_t length = address ? strnlen(address, kHttpAddressCapacity + 1) : 0;
    if (length > kHttpAddressCapacity) return failWith(kAddressTooLong);
    std::string error;
    try {
        if (!fetchInto(error, std::string_view(address ? address : "", length), dataText)) {
            std::string().swap(dataText);
            return failWith(error);
        }
    } catch (const std::exception &) {
        std::string().swap(dataText);
        return failWith(kOutOfMemory);
    }
    return dataText.c_str();
}

}  // namespace corvane
