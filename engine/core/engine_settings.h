// The engine's one set of news-server settings, kept between calls, and the cancel query.
// Written by mp3Settings on the caller's thread, read by the workers: guarded by a mutex
// (settings) and atomics (callback, cancel flag).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "corvane_n.h"

namespace corvane {

// Capacities of the texts that cross the interface, without the terminating zero.
inline constexpr std::size_t kServerCapacity = 128;
inline constexpr std::size_t kUserCapacity = 128;
inline constexpr std::size_t kPasswordCapacity = 128;

struct EngineSettings {
    std::string server;
    int32_t port = 0;
    std::string user;
    std::string password;
    int32_t connectSpeed = 0;
};

// Stores a copy; texts longer than their capacity are cut to it.
void storeEngineSettings(const EngineSettings &settings);
EngineSettings engineSettings();

void storeStatusCallback(StatusCallback callback);
StatusCallback statusCallback();

// The cancel state of the operation this thread runs (core/operation.h); outside any operation,
// one state shared by such code. Every reader asks this between receives.
void setCancelRequested(bool requested);
bool cancelRequested();

// Copies a caller's text (null reads as empty), cut to `capacity` characters.
std::string copyArgument(const char *text, std::size_t capacity);

}  // namespace corvane
