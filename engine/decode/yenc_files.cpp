#include "decode/yenc_files.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "decode/output_buffer.h"

namespace corvane {
namespace {

bool sameCopy(const YencPart &a, const YencPart &b) {
    return a.begin == b.begin && a.end == b.end && a.crc == b.crc && a.bytes.size() == b.bytes.size();
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

int addYencPart(DecodedFileList &list, YencPart &part) {
    // A part decoded from a long article with little yEnc in it gives the surplus back: a
    // song's parts stay in memory until its file is written.
    if (part.bytes.capacity() > part.bytes.size() * 2 + 4096) part.bytes.shrink_to_fit();
    for (DecodedFile &file : list.files) {
        if (file.encoding == kEncodingYenc && file.fileName == part.name) {
            file.yencParts.push_back(std::move(part));
            return kPartStored;
        }
    }
    if (list.files.size() >= kMaxDecodedFiles) return kPartListFull;
    DecodedFile &file = list.files.emplace_back();
    file.fileName = part.name;
    file.baseName = part.name;
    file.encoding = kEncodingYenc;
    file.partCount = part.total;
    file.yencParts.push_back(std::move(part));
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
        return;
    }
    file.missing = firstGap(parts, parts.front().fileSize, name);

    uint32_t crc = 0;
    bool first = true;
    std::optional<uint32_t> fileCrc;
    for (const YencPart &part : parts) {
        crc = first ? part.crc : crc32Joined(crc, part.crc, part.bytes.size());
        first = false;
        if (!fileCrc) fileCrc = part.fileCrc;
    }
    if (parts.size() == 1) {
        // A single-part post is the file already: no copy of a file that may be large.
        file.bytes = std::move(parts.front().bytes);
    } else {
        std::size_t size = 0;
        for (const YencPart &part : parts) size += part.bytes.size();
        try {
            sizeOutputBuffer(file.bytes, size);
        } catch (const std::bad_alloc &) {
            file.error = "Not enough memory to put " + name + " together.";
            parts.clear();
            return;
        }
        std::size_t offset = 0;
        for (YencPart &part : parts) {
            std::memcpy(file.bytes.data() + offset, part.bytes.data(), part.bytes.size());
            offset += part.bytes.size();
            part.bytes = std::string();  // released at once, so the file and its parts are not both held
        }
    }
    parts.clear();
    file.complete = file.missing.empty();
    if (file.complete && fileCrc && *fileCrc != crc) {
        file.error = "CRC error in " + name + ".";
        file.complete = false;
        file.bytes = std::string();
    }
}

}  // namespace corvane
