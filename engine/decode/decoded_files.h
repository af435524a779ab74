// The files of one song being assembled from its decoded parts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decode/decode_state.h"
#include "decode/yenc_decode.h"

namespace corvane {

// A song yields at most this many files, each of at most this many parts.
inline constexpr std::size_t kMaxDecodedFiles = 9;
inline constexpr int32_t kMaxParts = 200;

// Room for a yEnc file of a known size: its parts are decoded straight into place, and a file
// whose parts fill it whole is written from there, so a large song is neither held twice nor
// copied. Pages are only taken as parts fill them, so a size that lies costs address space, not
// memory.
class YencCanvas {
public:
    // False when no room of that size could be had.
    bool allocate(std::size_t size);
    void release() {
        data_.reset();
        size_ = 0;
    }
    char *data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::shared_ptr<char> data_;  // copies of a file list share it
    std::size_t size_ = 0;
};

struct DecodedFile {
    std::string fileName;  // as found for the first part
    std::string baseName;  // later parts are matched by it
    std::string bytes;     // the assembled file, set by joinDecodedParts, unless it lies in yencCanvas
    int32_t encoding = 0;
    int32_t partCount = 0;                                    // m of the first article
    bool complete = false;                                    // set by joinDecodedParts
    std::array<std::optional<std::string>, kMaxParts> parts;  // by part index
    std::vector<YencPart> yencParts;  // yEnc: the parts as they arrived, placed by their =ypart range
    YencCanvas yencCanvas;            // yEnc: where parts decoded in place lie
    // Set by joinDecodedParts. `error`: the data contradicts itself (a CRC, a size, a range), so
    // the file must not be written at all. `missing`: what a yEnc file still lacks when it is not
    // complete.
    std::string error;
    std::string missing;

    // The assembled file's bytes, wherever they lie.
    std::string_view content() const {
        return yencCanvas.data() ? std::string_view(yencCanvas.data(), yencCanvas.size()) : std::string_view(bytes);
    }
};

struct DecodedFileList {
    std::vector<DecodedFile> files;
};

enum AddPartResult {
    kPartStored = 0,
    kPartUnmatched = 1,   // a later part with no file of its base name
    kPartListFull = 5,    // a tenth file
    kPartOutOfRange = 6,  // part index of 200 or more, or part count above 200
};

// Stores the part decoded last (state.bytes): a later part under its index in every file of the
// same base name, a first part as a new file. On kPartStored the bytes (and the file name of a
// new file) are taken over.
int addDecodedPart(DecodedFileList &list, DecodeState &state);

// Stores a decoded yEnc part in the file of the same =ybegin name, or as a new file. The bytes
// are taken over on kPartStored.
int addYencPart(DecodedFileList &list, YencPart &part);

// Room in its file for a part of a multi-part yEnc post whose =ybegin and =ypart lines were read
// without fault, when its range lies inside the file and overlaps no part already placed there;
// otherwise none, and the part is decoded into its own bytes.
YencTarget placeYencPart(DecodedFileList &list, const YencPart &part);

// Puts every file's parts together in part order (a missing part leaves no gap) and marks the
// file complete when all its parts were there. A single-part file is always complete. A yEnc
// file is laid out by its parts' =ypart ranges instead and checked against its size and CRC32.
void joinDecodedParts(DecodedFileList &list);

// Index of the file after `previous` (-1 to start), or -1 after the last.
int nextDecodedFile(const DecodedFileList &list, int previous);

void freeDecodedFiles(DecodedFileList &list);

}  // namespace corvane
