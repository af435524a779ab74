// The article decoder as a download runs it: articles of one song (split at a NUL byte) decoded
// into one file list, joined, and every file's name put through the rule that keeps it inside
// the download folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decode/article_decoder.h"
#include "decode/decoded_files.h"
#include "decode/dot_stuffing.h"
#include "download/file_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    corvane::DecodedFileList list;
    std::size_t start = 0;
    while (start <= input.size()) {
        std::size_t end = input.find('\0', start);
        if (end == std::string_view::npos) end = input.size();
        std::string article(input.substr(start, end - start));
        corvane::undoDotStuffing(article);
        corvane::decodeArticle(article.data(), article.size(), &list);
        start = end + 1;
    }
    corvane::joinDecodedParts(list);
    for (int i = corvane::nextDecodedFile(list, -1); i >= 0; i = corvane::nextDecodedFile(list, i)) {
        const std::string name = corvane::safeFileName(list.files[static_cast<std::size_t>(i)].fileName);
        if (name.find_first_of("/\\") != std::string::npos || name == "." || name == "..") __builtin_trap();
    }
    corvane::freeDecodedFiles(list);
    return 0;
}
