// NNTP servers double a dot at the start of every line of an article ("dot-stuffing"), so that
// no data line can look like the terminator. The article must be unstuffed before it is decoded:
// a uuencoded line of 14 bytes starts with "." and would otherwise decode wrongly.
#pragma once

#include <string>

namespace corvane {

// Turns ".." at the start of every line (the text's start and after each CR LF) into ".".
void undoDotStuffing(std::string &text);

}  // namespace corvane
