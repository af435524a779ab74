// Login and posting: AUTHINFO USER/PASS and POST.
#include "nntp_session.h"

namespace harbeat::newsd {

void NntpSession::authinfo(const Command &command) {
    // RFC 8054: no login once the session is compressed.
    if (deflateActive_) {
        reply(502, "Command unavailable");
        return;
    }
    if (command.arguments.size() != 2) {
        reply(501, "Syntax error, expected AUTHINFO USER name or AUTHINFO PASS password");
        return;
    }
    const bool isUser = equalsIgnoringCase(command.arguments[0], "USER");
    const bool isPass = equalsIgnoringCase(command.arguments[0], "PASS");
    if (!isUser && !isPass) {
        reply(501, "Unknown AUTHINFO variant");
        return;
    }
    if (authenticated_) {
        reply(502, "Already authenticated");
        return;
    }
    const std::string_view value = command.arguments[1];
    if (isUser) {
        pendingUser_ = std::string(value);
        if (loginRequired() && options_.password.empty() && value == options_.user) {
            authenticated_ = true;
            reply(281, "Authentication accepted");
        } else {
            reply(381, "Password required");
        }
        return;
    }
    if (!pendingUser_) {
        reply(482, "Authentication commands issued out of sequence");
        return;
    }
    const bool accepted = !loginRequired() || (*pendingUser_ == options_.user && value == options_.password);
    pendingUser_.reset();
    if (accepted) {
        authenticated_ = true;
        reply(281, "Authentication accepted");
    } else {
        reply(options_.wrongLoginCode, "Authentication failed");
    }
}

NntpSession::Next NntpSession::post() {
    if (!options_.postingAllowed) {
        reply(440, "Posting not permitted");
        return Next::Continue;
    }
    reply(340, "Send article to be posted. End with <CR-LF>.<CR-LF>");
    std::string article;
    bool tooLarge = false;
    for (;;) {
        std::string_view line;
        // Lines of any length are taken; the article as a whole is bounded.
        const auto status = connection_.readLine(line, options_.maxPostBytes, std::string::npos);
        if (status == ClientConnection::ReadStatus::Closed || status == ClientConnection::ReadStatus::Overflow) {
            return Next::Close;
        }
        if (status == ClientConnection::ReadStatus::TooLong) {
            tooLarge = true;
            continue;
        }
        if (line == ".") break;
        if (line.starts_with('.')) line.remove_prefix(1);  // undo dot-stuffing
        if (tooLarge || article.size() + line.size() + 2 > options_.maxPostBytes) {
            tooLarge = true;
            continue;
        }
        article.append(line);
        article.append("\r\n");
    }
    if (tooLarge) {
        reply(441, "Article too large");
        return Next::Continue;
    }
    std::string messageId;
    const std::string problem = store_.post(std::move(article), messageId);
    if (!problem.empty()) {
        log("post refused: " + problem);
        reply(441, "Posting failed: " + problem);
    } else {
        log("posted " + messageId);
        reply(240, "Article received " + messageId);
    }
    return Next::Continue;
}

}  // namespace harbeat::newsd
