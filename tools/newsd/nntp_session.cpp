#include "nntp_session.h"

#include <chrono>
#include <cstdio>

#include "news_time.h"

namespace harbeat::newsd {

namespace {

// A command line may hold 512 bytes with its CR LF; a line that goes on far beyond that is no
// NNTP client and the connection is closed.
constexpr std::size_t kMaxCommandLength = 510;
constexpr std::size_t kAbsurdCommandLength = 64 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::string defaultGreetingText(int code, const ServerOptions &options) {
    switch (code) {
        case 200: return options.hostName + " NNTP service ready, posting allowed";
        case 201: return options.hostName + " NNTP service ready, posting prohibited";
        case 400: return "Service temporarily unavailable";
        case 502: return "Service permanently unavailable";
        default: return options.hostName + " NNTP service";
    }
}

}  // namespace

void StopSignal::request() {
    {
        std::lock_guard lock(mutex_);
        requested_ = true;
    }
    changed_.notify_all();
}

bool StopSignal::requested() const {
    std::lock_guard lock(mutex_);
    return requested_;
}

bool StopSignal::sleepFor(std::chrono::milliseconds duration) const {
    std::unique_lock lock(mutex_);
    return !changed_.wait_for(lock, duration, [this] { return requested_; });
}

NntpSession::NntpSession(ClientConnection &connection, NewsStore::Impl &store, const ServerOptions &options,
                         const StopSignal &stop, std::size_t connectionNumber)
    : connection_(connection),
      store_(store),
      options_(options),
      stop_(stop),
      connectionNumber_(connectionNumber),
      ruleMatches_(options.rules.size(), 0) {}

void NntpSession::reply(int code, std::string_view text) {
    std::string &out = connection_.output();
    appendNumber(out, unsigned(code));
    out += ' ';
    out.append(text);
    out.append("\r\n");
}

void NntpSession::log(std::string_view text) const {
    if (!options_.logCommands) return;
    std::fprintf(stderr, "newsd[%zu] %.*s\n", connectionNumber_, int(text.size()), text.data());
}

void NntpSession::run() {
    log("connected");
    const bool delayed = options_.latency.count() > 0;
    if (delayed) {
        connection_.enableDelayedSending();
        connection_.setSendTime(ClientConnection::Clock::now() + options_.latency);
    }
    const int greeting = options_.greetingCode != 0 ? options_.greetingCode : options_.postingAllowed ? 200 : 201;
    reply(greeting, options_.greetingText.empty() ? defaultGreetingText(greeting, options_) : options_.greetingText);
    if (greeting >= 400) {
        // A busy or refusing server says so and hangs up.
        connection_.flush();
        log("closed after greeting");
        return;
    }
    Next next = Next::Continue;
    while (next == Next::Continue && !stop_.requested() && !connection_.failed()) {
        std::string_view line;
        const ClientConnection::ReadStatus status = connection_.readLine(line, kMaxCommandLength, kAbsurdCommandLength);
        if (delayed) {
            // The replies so far leave at their own time; this command's at its arrival + latency.
            connection_.flush();
            connection_.setSendTime(connection_.lastLineArrival() + options_.latency);
        }
        switch (status) {
            case ClientConnection::ReadStatus::Line: next = handle(line); break;
            case ClientConnection::ReadStatus::TooLong: reply(501, "Line too long"); break;
            case ClientConnection::ReadStatus::Overflow:
                reply(501, "Line too long");
                next = Next::Close;
                break;
            case ClientConnection::ReadStatus::Closed: next = Next::Close; break;
        }
    }
    if (next == Next::Silence) {
        log("silent from here on");
        connection_.drainUntilClosed();
    }
    connection_.flush();
    log("closed");
}

NntpSession::Next NntpSession::handle(std::string_view line) {
    Command command;
    std::size_t position = 0;
    while (position < line.size()) {
        while (position < line.size() && isBlank(line[position])) ++position;
        const std::size_t start = position;
        while (position < line.size() && !isBlank(line[position])) ++position;
        if (position > start) {
            if (command.verb.empty()) {
                command.verb = toUpperAscii(line.substr(start, position - start));
                command.argumentText = trimmed(line.substr(position));
            } else {
                command.arguments.push_back(line.substr(start, position - start));
            }
        }
    }
    if (options_.logCommands) {
        const bool secret = command.verb == "AUTHINFO" && !command.arguments.empty() &&
                            equalsIgnoringCase(command.arguments[0], "PASS");
        log(secret ? std::string_view("AUTHINFO PASS ****") : line);
    }
    if (command.verb.empty()) {
        reply(500, "Unknown command");
        return Next::Continue;
    }
    const Next ruled = applyRules(command);
    if (ruled != Next::Continue) return ruled;
    if (stop_.requested()) return Next::Close;
    return dispatch(command);
}

NntpSession::Next NntpSession::applyRules(const Command &command) {
    for (std::size_t i = 0; i < options_.rules.size(); ++i) {
        const CommandRule &rule = options_.rules[i];
        if (!equalsIgnoringCase(rule.command, command.verb)) continue;
        if (!rule.argument.empty() && rule.argument != command.argumentText) continue;
        if (ruleMatches_[i] < rule.skip) {
            ++ruleMatches_[i];
            continue;
        }
        if (rule.once && rule.used->exchange(true)) continue;
        switch (rule.action) {
            case CommandRule::Action::Delay:
                connection_.flush();
                if (!stop_.sleepFor(rule.delay)) return Next::Close;
                break;
            case CommandRule::Action::Silence: return Next::Silence;
            case CommandRule::Action::Close: return Next::Close;
        }
    }
    return Next::Continue;
}

NntpSession::Next NntpSession::dispatch(const Command &command) {
    if (!gzipsReplyTo(command)) return dispatchCommand(command);
    // The reply is built whole, then its lines are compressed.
    const std::size_t mark = connection_.output().size();
    connection_.holdOutput(true);
    const Next next = dispatchCommand(command);
    connection_.holdOutput(false);
    gzipReplyFrom(mark);
    connection_.flushIfLarge();
    return next;
}

NntpSession::Next NntpSession::dispatchCommand(const Command &command) {
    const std::string &verb = command.verb;
    const bool loginFree =
        verb == "AUTHINFO" || verb == "QUIT" || verb == "CAPABILITIES" ||
        (verb == "MODE" && command.arguments.size() == 1 && equalsIgnoringCase(command.arguments[0], "READER"));
    if (loginRequired() && !authenticated_ && !loginFree) {
        reply(480, "Authentication required");
        return Next::Continue;
    }
    const std::size_t argumentCount = command.arguments.size();
    if (verb == "QUIT") {
        reply(205, "Closing connection");
        return Next::Close;
    }
    if (verb == "MODE") {
        if (argumentCount == 1 && equalsIgnoringCase(command.arguments[0], "READER")) {
            if (options_.postingAllowed) {
                reply(200, "Reader mode, posting permitted");
            } else {
                reply(201, "Reader mode, posting prohibited");
            }
        } else {
            reply(501, "Unknown MODE variant");
        }
    } else if (verb == "CAPABILITIES") {
        reply(101, "Capability list:");
        std::string &out = connection_.output();
        out.append("VERSION 2\r\nREADER\r\n");
        if (options_.postingAllowed) out.append("POST\r\n");
        out.append("LIST ACTIVE ACTIVE.TIMES NEWSGROUPS OVERVIEW.FMT\r\nOVER MSGID\r\n");
        if (!authenticated_ && !deflateActive_) out.append("AUTHINFO USER\r\n");
        appendCompressionCapabilities(out);
        out.append("IMPLEMENTATION harbeat-newsd\r\n.\r\n");
    } else if (verb == "DATE" && argumentCount == 0) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        reply(111, formatDateReply(std::chrono::duration_cast<std::chrono::seconds>(now).count()));
    } else if (verb == "HELP" && argumentCount == 0) {
        reply(100, "Help text follows");
        connection_.output().append(
            "ARTICLE [message-id|number]\r\nAUTHINFO USER name|PASS password\r\nBODY [message-id|number]\r\n"
            "CAPABILITIES\r\nDATE\r\nGROUP newsgroup\r\nHEAD [message-id|number]\r\nHELP\r\nLAST\r\n"
            "LIST [ACTIVE|ACTIVE.TIMES|NEWSGROUPS [wildmat]|OVERVIEW.FMT]\r\nLISTGROUP [newsgroup [range]]\r\n"
            "MODE READER\r\nNEWGROUPS [yy]yymmdd hhmmss [GMT]\r\nNEXT\r\nOVER [range|message-id]\r\nPOST\r\n"
            "QUIT\r\nSTAT [message-id|number]\r\nXOVER [range]\r\n.\r\n");
    } else if (verb == "GROUP") {
        group(command);
    } else if (verb == "LISTGROUP") {
        listGroup(command);
    } else if (verb == "LIST") {
        list(command);
    } else if (verb == "NEWGROUPS") {
        newGroups(command);
    } else if (verb == "NEXT" || verb == "LAST") {
        if (argumentCount != 0) {
            reply(501, "Syntax error");
        } else {
            next(verb == "NEXT");
        }
    } else if (verb == "ARTICLE") {
        article(command, Part::Article);
    } else if (verb == "HEAD") {
        article(command, Part::Head);
    } else if (verb == "BODY") {
        article(command, Part::Body);
    } else if (verb == "STAT") {
        article(command, Part::Stat);
    } else if (verb == "XOVER" || verb == "OVER") {
        overview(command);
    } else if (verb == "AUTHINFO" && refuseLogin_) {
        using Refusal = ServerOptions::Refusal;
        reply(options_.refusal == Refusal::Login481   ? 481
              : options_.refusal == Refusal::Login482 ? 482
                                                      : 502,
              "Too many connections");
        return Next::Close;
    } else if (verb == "AUTHINFO") {
        authinfo(command);
    } else if (verb == "COMPRESS" && options_.compression == ServerOptions::Compression::Deflate) {
        compress(command);
    } else if (verb == "XFEATURE" && options_.compression == ServerOptions::Compression::Gzip) {
        xfeature(command);
    } else if (verb == "POST") {
        if (argumentCount != 0) {
            reply(501, "Syntax error");
        } else {
            return post();
        }
    } else if (verb == "DATE" || verb == "HELP") {
        reply(501, "Syntax error");
    } else {
        reply(500, "Unknown command");
    }
    return Next::Continue;
}

}  // namespace harbeat::newsd
