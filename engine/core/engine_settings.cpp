#include "core/engine_settings.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace corvane {
namespace {

// Never destroyed: a detached worker may still read them while the program exits.
std::mutex &settingsMutex = *new std::mutex;
EngineSettings &storedSettings = *new EngineSettings;
std::atomic<StatusCallback> storedCallback{nullptr};

}  // namespace

std::string copyArgument(const char *text, std::size_t capacity) {
    if (!text) return {};
    return std::string(text, strnlen(text, capacity));
}

void storeEngineSettings(const EngineSettings &settings) {
    std::lock_guard lock(settingsMutex);
    storedSettings = settings;
    storedSettings.server.resize(std::min(storedSettings.server.size(), kServerCapacity));
    storedSettings.user.resize(std::min(storedSettings.user.size(), kUserCapacity));
    storedSettings.password.resize(std::min(storedSettings.password.size(), kPasswordCapacity));
}

EngineSettings engineSettings() {
    std::lock_guard lock(settingsMutex);
    return storedSettings;
}

void storeStatusCallback(StatusCallback callback) { storedCallback.store(callback); }
StatusCallback statusCallback() { return storedCallback.load(); }

}  // namespace corvane
