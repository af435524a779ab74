// Writing a song's decoded files into the download folder.
#pragma once

#include <string>
#include <string_view>

#include "decode/decoded_files.h"

namespace corvane {

// A file name taken from an article, made safe to use inside the download folder: only its last
// component (cut at "/" and "\"), without NUL and control characters. Empty when nothing usable
// remains ("", "." or "..", also once double quotes are dropped).
std::string safeFileName(std::string_view articleName);

// Writes the files of `list` as folder "/" name, where name is the safe last component of
// `fixedName` or, when that is empty, of the file's own name; double quotes are dropped from the
// path. Complete files only, unless `writeIncomplete`. The folder is created when it does not
// exist. Each file is written whole to a temporary file and then renamed over its name, so a link
// of that name is never followed and a failed write leaves an older file as it was. A name that is
// unusable, or a file that cannot be created or written, is reported with 9001 and skipped.
// Returns the path of the last file written by this call; empty when none was. Counts the
// problems it reported in `problemsReported` when given.
std::string writeDecodedFiles(std::string_view folder, std::string_view fixedName, const DecodedFileList &list,
                              bool writeIncomplete, int *problemsReported = nullptr);

}  // namespace corvane
