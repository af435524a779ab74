#include "recording_engine.h"

#include <cstdint>
#include <cstring>

#include "engine/engine_binding.h"

namespace harbeat::guitest {
namespace {

void cancel() { engineCalls().push_back({QStringLiteral("mp3CancelFunc"), {}}); }

intptr_t getSongs(const char *request) {
    engineCalls().push_back({QStringLiteral("mp3GetSongs"), {QString::fromUtf8(request)}});
    return 1;
}

intptr_t buildSongs(const char *folder, const char *fixedName, const char *songList, int32_t flags) {
    engineCalls().push_back({QStringLiteral("mp3BuildSongs"),
                             {QString::fromUtf8(folder), QString::fromUtf8(fixedName), QString::fromUtf8(songList),
                              QString::number(flags)}});
    return 1;
}

intptr_t openNzb(const char *path) {
    engineCalls().push_back({QStringLiteral("mp3OpenNzb"), {QString::fromUtf8(path)}});
    return 1;
}

QFunctionPointer recordingExport(const char *name) {
    if (std::strcmp(name, "mp3CancelFunc") == 0) return reinterpret_cast<QFunctionPointer>(&cancel);
    if (std::strcmp(name, "mp3GetSongs") == 0) return reinterpret_cast<QFunctionPointer>(&getSongs);
    if (std::strcmp(name, "mp3BuildSongs") == 0) return reinterpret_cast<QFunctionPointer>(&buildSongs);
    if (std::strcmp(name, "mp3OpenNzb") == 0) return reinterpret_cast<QFunctionPointer>(&openNzb);
    return nullptr;
}

}  // namespace

void useRecordingEngine() { engine::setExportLookupForTests(&recordingExport); }

std::vector<EngineCall> &engineCalls() {
    static std::vector<EngineCall> calls;
    return calls;
}

}  // namespace harbeat::guitest
