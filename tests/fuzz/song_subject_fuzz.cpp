// Fuzz target: subjects as the song search reads them (part numbers, one-article songs) and the
// titles made from their base names. Nothing may crash or read out of bounds; a usable subject
// gives a part index below its part count and a base name inside the subject.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "songs/part_number.h"
#include "songs/title_prefixes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view subject(reinterpret_cast<const char *>(data), size);
    std::string_view baseName;
    int32_t partIndex = 0;
    int32_t partCount = 0;
    const int result = corvane::parseSongSubject(subject, baseName, partIndex, partCount);
    if (result >= 0) {
        if (result != partIndex || partIndex < 0 || partCount < 1) std::abort();
        if (baseName.data() < subject.data() || baseName.data() + baseName.size() > subject.data() + subject.size())
            std::abort();
        std::string title(baseName);
        corvane::cleanSongTitle(title);
        if (title.size() > baseName.size()) std::abort();
    }
    return 0;
}
