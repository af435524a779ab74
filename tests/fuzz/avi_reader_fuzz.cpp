// The reader of the animation clip: a damaged or hostile AVI file fails cleanly.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "main/avi_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const harbeat::AviReadResult result =
        harbeat::readAvi(QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    if (!result.ok() && !result.clip.frames.empty()) __builtin_trap();
    return 0;
}
