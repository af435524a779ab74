// The newsgroup list: the server's complete list of groups, or the groups created since a date,
// narrowed to the names that contain a filter text and handed to the GUI with 9002.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Capacities of the two texts of mp3GetNewsgroups, without the terminating zero.
inline constexpr std::size_t kNameFilterCapacity = 64;
inline constexpr std::size_t kNewGroupsDateCapacity = 8;

struct NewsgroupListCommand {
    std::string text;  // the command line, CR LF included
    int expectedCode;  // the status code of a list that follows
};

// "list" (215) for a date text beginning with "~"; otherwise "newgroups YYMMDD 120000" (231),
// the date padded on the left with blanks to six characters.
NewsgroupListCommand newsgroupListCommand(std::string_view date);

// The names of the listed groups (the text before the first blank of each line) that contain
// `filter`, case-sensitively, in the order listed, each followed by CR LF; " " when none matches.
// `list` is the data of a multi-line response (".\r\n" when it has no lines).
std::string filterGroupNames(std::string_view list, std::string_view filter);

// The worker: opens a session with the stored settings, asks for the list and reports
// 9004 "0", the transfer's progress, then 9002 with the names or 9001 with the error.
void newsgroupListWorker(const std::string &nameFilter, const std::string &date);

}  // namespace corvane
