#include "decode/yenc_files.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "core/huge_pages.h"

namespace corvane {
namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

bool sameCopy(const YencPart &a, const YencPart &b) {
    return a.begin == b.begin && a.end == b.end && a.crc == b.crc && a.size == b.size;
}

DecodedFile *yencFileNamed(DecodedFileList &list, const std::string &name) {
    for (DecodedFile &file : list.files)
        if (file.encoding == kEncodingYenc && file.fileName == name) return &file;
    return nullptr;
}

DecodedFile *newYencFile(DecodedFileList &list, const YencPart &part) {
    if (list.files.size() >= kMaxDecodedFiles) return nullptr;
    DecodedFile &file = list.files.emplace_back();
    file.fileName = part.name;
    file.baseName = part.name;
    file.encoding = kEncodingYenc;
    file.partCount = part.total;
    return &file;
}

// What the parts leave out of the file's bytes 1 to size: the first gap, or an empty text.
std::string firstGap(const std::vector<YencPart> &parts, int64_t size, const std::string &name) {
    int64_t next = 1;
    for (const YencPart &part : parts) {
        if (part.begin > next) break;
        next = std::max(next, part.end + 1);
    }
    if (next > size) return {};
    int64_t gapEnd = size;
    for (const YencPart &part : parts)
        if (part.begin > next) {
            gapEnd = part.begin - 1;
            break;
        }
    return "Bytes " + std::to_string(next) + " to " + std::to_string(gapEnd) + " of " + name + " are missing.";
}

std::string checkLayout(const std::vector<YencPart> &parts, const std::string &name) {
    for (const YencPart &part : parts)
        if (!part.error.empty()) return part.error;
    for (const YencPart &part : parts)
        if (part.fileSize != parts.front().fileSize) return "Parts of " + name + " disagree on its size.";
    for (std::size_t i = 1; i < parts.size(); ++i)
        if (parts[i].begin <= parts[i - 1].end)
            return "Parts of " + name + " overlap at byte " + std::to_string(parts[i].begin) + ".";
    return {};
}

}  // namespace

bool YencCanvas::allocate(std::size_t size) {
    release();
    if (size == 0 || size > (std::size_t(1) << 40)) return false;
    // Whole huge pages: filling a song of many megabytes page by page costs more than decoding it.
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    char *data = static_cast<char *>(std::aligned_alloc(kHugePage, rounded));
    if (!data) return false;
    adviseHugePages(data, rounded);
    data_ = std::shared_ptr<char>(data, [](char *p) { std::free(p); });
    size_ = size;
    return true;
}

YencTarget placeYencPart(DecodedFileList &list, const YencPart &part) {
    if (!part.error.empty() || part.part < 0 || part.fileSize < 1 || part.begin < 1 || part.end < part.begin ||
        part.end > part.fileSize)
        return {};
    DecodedFile *file = yencFileNamed(list, part.name);
    if (!file) file = newYencFile(list, part);
    if (!file) return {};
    const auto fileSize = static_cast<std::size_t>(part.fileSize);
    // A song has at most kMaxParts articles: a file larger than that many parts of this one's size
    // cannot be filled, and its size is not worth reserving.
    const auto rangeSize = static_cast<std::size_t>(part.end - part.begin + 1);
    if (fileSize / static_cast<std::size_t>(kMaxParts) > rangeSize) return {};
    if (!file->yencCanvas.data()) {
        if (!file->yencParts.empty() || !file->yencCanvas.allocate(fileSize)) return {};
    } else if (file->yencCanvas.size() != fileSize) {
        return {};  // the parts disagree on the size: the join reports it
    }
    for (const YencPart &placed : file->yencParts)
        if (placed.inPlace && part.begin <= placed.end && placed.begin <= part.end) return {};
    return {file->yencCanvas.data() + (part.begin - 1), static_cast<std::size_t>(part.end - part.begin + 1)};
}

int addYencPart(DecodedFileList &list, YencPart &part) {
    // A part decoded from a long article with little yEnc in it gives the surplus back: a
    // song's parts stay in memory until its file is written.
    if (part.bytes.capacity() > part.bytes.size() * 2 + 4096) part.bytes.shrink_to_fit();
    DecodedFile *file = yencFileNamed(list, part.name);
    if (!file) file = newYencFile(list, part);
    if (!file) return kPartListFull;
    file->yencParts.push_back(std::move(part));
    return kPartStored;
}

void joinYencFile(DecodedFile &file) {
    std::vector<YencPart> &parts = file.yencParts;
    const std::string name = reportableName(file.fileName);
    std::stable_sort(parts.begin(), parts.end(),
                     [](const YencPart &a, const YencPart &b) { return a.begin < b.begin; });
    // The same part fetched twice (a repost within one song) counts once.
    parts.erase(std::unique(parts.begin(), parts.end(), sameCopy), parts.end());

    file.bytes.clear();
    file.complete = false;
    file.error = parts.empty() ? "A yEnc file without parts." : checkLayout(parts, name);
    if (!file.error.empty()) {
        parts.clear();
        file.yencCanvas.release();
        return;
    }
    file.missing = firstGap(parts, parts.front().fileSize, name);

    uint32_t crc = 0;
    bool first = true;
    std::optional<uint32_t> fileCrc;
    for (const YencPart &part : parts) {
        crc = first ? part.crc : crc32Joined(crc, part.crc, part.size);
        first = false;
        if (!fileCrc) fileCrc = part.fileCrc;
    }
    const bool allInPlace = std::all_of(parts.begin(), parts.end(), [](const YencPart &part) { return part.inPlace; });
    if (allInPlace && file.missing.empty()) {
        // The parts fill the canvas from its first byte to its last: it is the file already.
    } else if (parts.size() == 1 && !parts.front().inPlace) {
        // A single-part post is the file already: no copy of a file that may be large.
        file.bytes = std::move(parts.front().bytes);
    } else {
        std::size_t size = 0;
        for (const YencPart &part : parts) size += part.size;
        try {
            file.bytes.reserve(size);
        } catch (const std::bad_alloc &) {
            file.error = "Not enough memory to put " + name + " together.";
            parts.clear();
            file.yencCanvas.release();
            return;
        }
        // A song is megabytes long: taking its room page by page costs more than copying it.
        adviseHugePages(file.bytes.data(), file.bytes.capacity());
        for (YencPart &part : parts) {
            const char *bytes = part.inPlace ? file.yencCanvas.data() + (part.begin - 1) : part.bytes.data();
            file.bytes.append(bytes, part.size);
            part.bytes = std::string();  // released at once, so the file and its parts are not both held
        }
        file.yencCanvas.release();
    }
    parts.clear();
    file.complete = file.missing.empty();
    if (file.complete && fileCrc && *fileCrc != crc) {
        file.error = "CRC error in " + name + ".";
        file.complete = false;
        file.bytes = std::string();
        file.yencCanvas.release();
    }
}

}  // namespace corvane
