#include "nntp/newsgroup_list.h"

#include <cstdio>
#include <exception>

#include "core/debug_log.h"
#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "net/multiline.h"
#include "nntp/session.h"

namespace corvane {
namespace {

// The one way a list run ends when something failed: the log line, the one 9001 report, then
// the end of the session (0 when none was opened), which happens whatever else fails.
void endListWithError(Connection connection, std::string_view message) {
    try {
        debugLogError(message);
        notifyGui(kNotifyError, message);
    } catch (const std::exception &) {
    }
    nntpQuit(connection);
}

// Everything from the session's start to the filtered names; fails with the message in `error`.
int fetchNewsgroupNames(std::string &error, Connection &connection, const std::string &nameFilter,
                        const std::string &date, std::string &names) {
    connection = nntpOpenStoredSession(error);
    if (!connection) return 0;
    const NewsgroupListCommand command = newsgroupListCommand(date);
    if (!netSend(error, connection, command.text)) return 0;
    notifyGui(kNotifyProgress, "0");

    std::string list;
    // No total is known: the progress is the count of lines received so far.
    const ProgressReport progress{true, 0, 0};
    if (!readMultiLineResponse(error, connection, command.expectedCode, kResponseTerminator, list, progress)) return 0;
    if (cancelRequested()) {
        error = kCancelled;
        return 0;
    }
    names = filterGroupNames(list, nameFilter);
    return 1;
}

}  // namespace

NewsgroupListCommand newsgroupListCommand(std::string_view date) {
    if (date.starts_with('~')) return {"list\r\n", 215};
    // "newgroups" takes a date and a time of day: the groups created since noon of that day,
    // in the server's local time.
    char line[64];
    std::snprintf(line, sizeof line, "newgroups %6.*s 120000\r\n", static_cast<int>(date.size()), date.data());
    return {line, 231};
}

std::string filterGroupNames(std::string_view list, std::string_view filter) {
    std::string names;
    // A response without lines reads as its dot line alone.
    if (list == ".\r\n") list = {};
    std::size_t lineStart = 0;
    while (lineStart < list.size()) {
        std::size_t lineEnd = list.find("\r\n", lineStart);
        if (lineEnd == std::string_view::npos) lineEnd = list.size();
        const std::string_view line = list.substr(lineStart, lineEnd - lineStart);
        // A list line is "name last first flags". The blank is looked for inside the line only,
        // so a line that has no other fields can never join the next line to its name.
        const std::string_view name = line.substr(0, line.find(' '));
        if (!name.empty() && name.find(filter) != std::string_view::npos) {
            names.append(name);
            names += "\r\n";
        }
        lineStart = lineEnd + 2;
    }
    if (names.empty()) names = " ";
    return names;
}

void newsgroupListWorker(const std::string &nameFilter, const std::string &date) {
    std::string error;
    std::string names;
    Connection connection = 0;
    int fetched;
    try {
        fetched = fetchNewsgroupNames(error, connection, nameFilter, date, names);
    } catch (const std::exception &) {
        // Only memory can run out on the way, and no report has ended the run yet.
        error = kOutOfMemory;
        fetched = 0;
    }
    if (!fetched) {
        endListWithError(connection, error);
        return;
    }
    try {
        // The last report goes out before QUIT: the GUI may go on while the session ends.
        notifyGui(kNotifyGroupList, names);
    } catch (const std::exception &) {
        endListWithError(connection, kOutOfMemory);
        return;
    }
    nntpQuit(connection);
}

}  // namespace corvane
