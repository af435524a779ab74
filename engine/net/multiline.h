// Readers of multi-line NNTP responses: one collects a whole response, one hands it out line by line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "net/connection.h"

namespace corvane {

// The terminator line of every multi-line response.
inline constexpr std::string_view kResponseTerminator = "\r\n.\r\n";

// A response larger than this is refused, so a hostile server cannot make the engine grow
// without bound; it leaves room for articles of well over 100 MB.
inline constexpr std::size_t kMaxResponseBytes = 256u * 1024u * 1024u;
// The largest response that readResponseLine holds (overview batches of 51 lines are far below).
inline constexpr std::size_t kMaxResponseLineBuffer = 64u * 1024u * 1024u;

struct ProgressReport {
    bool on = false;
    double base = 0;
    double total = 0;
};

// Reads a whole multi-line response whose status code must be `expectedCode`. On success `text`
// holds the data lines, each with its CR LF, without the status line and the terminator line
// (".\r\n" when there are none). With progress on, every receive after the first sends 9004 with
// (line breaks so far + base + 1) as a percentage of total, or as a count when total is 0.
int readMultiLineResponse(std::string &error, Connection connection, int expectedCode, std::string_view terminator,
                          std::string &text, ProgressReport progress = {});

// Hands out a multi-line response line by line. The call with newResponse on reads the whole
// response and returns its status line; later calls return the following lines; a result of 1
// with an empty line marks the end. A line of `capacity` characters or more is refused.
int readResponseLine(std::string &error, Connection connection, std::string &line, std::size_t capacity,
                     bool newResponse);
// The same, handing out each line as a view that stays valid until the next call with
// newResponse on.
int readResponseLineView(std::string &error, Connection connection, std::string_view &line, std::size_t capacity,
                         bool newResponse);

}  // namespace corvane
