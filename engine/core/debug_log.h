// The debug log HarbeatLog.txt in the user's home folder: the whole NNTP conversation byte for
// byte, plus "ERROR: " lines. Every append opens, writes and closes, so the file is complete after
// each write; an append that cannot open the file is skipped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

std::string debugLogPath();
// Creates or empties the log, writes "START\r\n" and switches logging on.
void debugLogStart();
void debugLogStop();
bool debugLogOn();
// Appends the bytes as they are, when logging is on.
void debugLogAppend(const char *bytes, std::size_t length);
// Appends "ERROR: ", the message and CR LF, when logging is on.
void debugLogError(std::string_view message);

}  // namespace corvane
