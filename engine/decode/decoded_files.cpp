#include "decode/decoded_files.h"

#include "decode/yenc_files.h"

namespace corvane {
namespace {

// A decoder's room may be larger than the part it decoded; a part much smaller than its room
// gives the surplus back, as a song's parts stay in memory until its files are written.
std::string takeBytes(std::string &bytes) {
    if (bytes.capacity() > bytes.size() * 2 + 4096) bytes.shrink_to_fit();
    return std::move(bytes);
}

}  // namespace

int addDecodedPart(DecodedFileList &list, DecodeState &state) {
    if (state.continuation == 1) {
        if (state.partIndex < 0 || state.partIndex >= kMaxParts || state.partCount > kMaxParts) return kPartOutOfRange;
        std::vector<DecodedFile *> matches;
        for (DecodedFile &file : list.files)
            if (file.baseName == state.baseName) matches.push_back(&file);
        if (matches.empty()) return kPartUnmatched;
        std::string bytes = takeBytes(state.bytes);
        for (std::size_t i = 0; i + 1 < matches.size(); ++i) matches[i]->parts[state.partIndex] = bytes;
        matches.back()->parts[state.partIndex] = std::move(bytes);
        return kPartStored;
    }

    if (list.files.size() >= kMaxDecodedFiles) return kPartListFull;
    DecodedFile &file = list.files.emplace_back();
    file.fileName = std::move(state.fileName);
    file.baseName = state.baseName;
    file.encoding = state.encoding;
    file.partCount = state.partCount;
    file.parts[0] = takeBytes(state.bytes);
    return kPartStored;
}

void joinDecodedParts(DecodedFileList &list) {
    for (DecodedFile &file : list.files) {
        if (file.encoding == kEncodingYenc) {
            joinYencFile(file);
            continue;
        }
        if (file.partCount < 2) {
            file.bytes = file.parts[0] ? std::move(*file.parts[0]) : std::string();
            file.complete = true;
        } else {
            // A part count above the limit can never be complete: its parts beyond 200 were
            // dropped.
            const int32_t count = std::min(file.partCount, kMaxParts);
            std::size_t size = 0;
            bool allPresent = file.partCount <= kMaxParts;
            for (int32_t i = 0; i < count; ++i) {
                if (file.parts[i])
                    size += file.parts[i]->size();
                else
                    allPresent = false;
            }
            file.bytes.clear();
            file.bytes.reserve(size);
            for (int32_t i = 0; i < count; ++i) {
                if (!file.parts[i]) continue;
                file.bytes += *file.parts[i];
                file.parts[i].reset();
            }
            file.complete = allPresent;
        }
        for (auto &part : file.parts) part.reset();
    }
}

int nextDecodedFile(const DecodedFileList &list, int previous) {
    const std::size_t next = previous < 0 ? 0 : static_cast<std::size_t>(previous) + 1;
    return next < list.files.size() ? static_cast<int>(next) : -1;
}

void freeDecodedFiles(DecodedFileList &list) {
    list.files.clear();
    list.files.shrink_to_fit();
}

}  // namespace corvane
