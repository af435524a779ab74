// Assembling a yEnc file from its parts.
#pragma once

#include "decode/decoded_files.h"

namespace corvane {

// Lays the file's yEnc parts out by their =ypart ranges (not by arrival) into file.bytes and sets
// complete, error and missing: error for a part that failed its own checks, parts that overlap
// or disagree on the file's size, and a whole-file CRC32 that does not match; missing for the
// first range of bytes no part carried.
void joinYencFile(DecodedFile &file);

}  // namespace corvane
