// Fuzz target: article texts holding yEnc parts, as a hostile server may send them. The input is
// split at every form feed into the articles of one song; each is unstuffed and decoded, then
// the song's files are joined. Nothing may crash, read out of bounds or leak, and a file marked
// complete must carry no error and exactly the bytes its parts announced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "decode/article_decoder.h"
#include "decode/dot_stuffing.h"
#include "decode/yenc_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    corvane::DecodedFileList list;
    std::size_t start = 0;
    for (int article = 0; article < 16 && start <= input.size(); ++article) {
        const std::size_t end = std::min(input.find('\f', start), input.size());
        std::string text(input.substr(start, end - start));
        corvane::undoDotStuffing(text);
        corvane::decodeArticle(text.data(), text.size(), &list);
        start = end + 1;
    }
    corvane::joinDecodedParts(list);
    for (const corvane::DecodedFile &file : list.files) {
        if (file.encoding != corvane::kEncodingYenc) continue;
        if (file.complete && (!file.error.empty() || !file.missing.empty())) std::abort();
        if (!file.error.empty() && !file.content().empty()) std::abort();
    }
    corvane::freeDecodedFiles(list);

    // The part decoder alone, from the first byte.
    std::size_t position = 0;
    corvane::YencPart part;
    if (corvane::yencDecodePart(input, position, part) && position > input.size()) std::abort();
    return 0;
}
