// The file-name rules: a begin line or a MIME header block (the first byte chooses the
// encoding) gives a file name, which the writer's rule cuts to one safe component.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/article_decoder.h"
#include "decode/decode_state.h"
#include "download/file_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    const int32_t encodings[] = {corvane::kEncodingUuencode, corvane::kEncodingBase64,
                                 corvane::kEncodingQuotedPrintable};
    corvane::DecodeState state;
    state.encoding = encodings[data[0] % 3];
    corvane::findFileName(state, text, 0);
    corvane::transferEncodingCode(text);
    std::size_t position = 0;
    corvane::skipHeaderBlock(text, position);
    if (position > text.size()) __builtin_trap();
    for (const std::string_view name : {std::string_view(state.fileName), text}) {
        const std::string safe = corvane::safeFileName(name);
        if (safe.find_first_of("/\\") != std::string::npos || safe == "." || safe == "..") __builtin_trap();
        for (char c : safe)
            if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    }
    return 0;
}
