// The reader of the RTF message and tip pages.
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>

#include "pages/rtf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const harbeat::RtfDocument document =
        harbeat::readRtf(QByteArrayView(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    (void)document.plainText();
    return 0;
}
