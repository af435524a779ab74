#include <strings.h>

#include <atomic>

#include "core/error_text.h"
#include "net/multiline.h"
#include "net/pending_bytes.h"
#include "nntp/overview_layout.h"
#include "nntp/session.h"

namespace corvane {
namespace {

std::atomic<int32_t> subjectIndex{0}, linesIndex{0}, messageIdIndex{0}, dateIndex{0}, bytesIndex{0};

// The answer is collected in a buffer of this size; a longer one is not an overview format.
constexpr std::size_t kOverviewFormatCapacity = 64000;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

OverviewLayout overviewLayout() {
    return OverviewLayout{subjectIndex.load(), linesIndex.load(), messageIdIndex.load(), dateIndex.load(),
                          bytesIndex.load()};
}

void storeOverviewLayout(const OverviewLayout &layout) {
    subjectIndex.store(layout.subjectIndex);
    linesIndex.store(layout.linesIndex);
    messageIdIndex.store(layout.messageIdIndex);
    dateIndex.store(layout.dateIndex);
    bytesIndex.store(layout.bytesIndex);
}

int nntpReadOverviewFormat(std::string &error, Connection connection) {
    if (!netSend(error, connection, "list overview.fmt\r\n")) return 0;
    std::string answer;
    std::size_t end;
    // The list is a few lines: like a single-line reply it has one deadline for all its
    // receives, so a server that drips it cannot hold the call.
    const ReceiveLimits limits = singleLineLimits();
    while ((end = answer.find(kResponseTerminator)) == std::string::npos) {
        // A refusal (for example 503) has no list behind it; do not wait for one.
        const std::size_t statusEnd = answer.find("\r\n");
        if ((answer.starts_with('4') || answer.starts_with('5')) && statusEnd != std::string::npos) {
            keepPendingBytes(connection, std::string_view(answer).substr(statusEnd + 2));
            error = answer.substr(0, statusEnd + 2);
            return 0;
        }
        if (!receiveMore(error, connection, answer, kOverviewFormatCapacity, "Overview format too long.", limits))
            return 0;
    }
    keepPendingBytes(connection, std::string_view(answer).substr(end + kResponseTerminator.size()));
    answer.resize(end + kResponseTerminator.size());

    // Pieces between runs of CR and LF, numbered from 0; the status line is piece 0.
    OverviewLayout layout = overviewLayout();
    int32_t piece = 0;
    std::size_t pos = 0;
    while (pos < answer.size()) {
        const std::size_t end = std::min(answer.find_first_of("\r\n", pos), answer.size());
        const std::string_view field = std::string_view(answer).substr(pos, end - pos);
        // RFC 3977 servers name the size fields ":bytes" and ":lines", older ones "Bytes:" and "Lines:".
        const std::string_view metadata = field.starts_with(':') ? field.substr(1) : std::string_view();
        if (startsWithNoCase(field, "subject"))
            layout.subjectIndex = piece;
        else if (startsWithNoCase(field, "lines") || startsWithNoCase(metadata, "lines"))
            layout.linesIndex = piece;
        else if (startsWithNoCase(field, "bytes") || startsWithNoCase(metadata, "bytes"))
            layout.bytesIndex = piece;
        else if (startsWithNoCase(field, "message-id"))
            layout.messageIdIndex = piece;
        else if (startsWithNoCase(field, "date"))
            layout.dateIndex = piece;
        ++piece;
        pos = answer.find_first_not_of("\r\n", end);
        if (pos == std::string::npos) break;
    }
    storeOverviewLayout(layout);
    return 1;
}

}  // namespace corvane
