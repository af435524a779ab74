// Opens an NZB file from disk, plain or gzip-compressed (.nzb.gz), and reads it piece by piece.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "songs/nzb_reader.h"

namespace corvane {

// Larger files, and compressed files that unpack to more, are refused: the largest NZB files of
// whole films are a few tens of megabytes.
inline constexpr uint64_t kMaxNzbFileBytes = 256ull * 1024 * 1024;

// Reads the NZB at `path` into `list`. Only a regular file is read: a folder, a FIFO or a device
// is refused without waiting for a writer. `progress` is called now and then with the share of
// the file read so far (0 to 100). On failure `error` is a clause that follows "Cannot list
// <file>: " ("it is a folder"), or the cancel text when a cancel stopped the reading.
bool readNzbFile(const std::string &path, NzbList &list, std::string &error,
                 const std::function<void(double)> &progress = {});

}  // namespace corvane
