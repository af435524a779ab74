// Reading back the parts of a posted article that the engine fills in from the session and the
// clock.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "nntp/post_article.h"

namespace harbeat::test {

// The value of the first header line of that name, or empty.
inline std::string headerOf(const std::string &article, const std::string &name) {
    const std::size_t at = article.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + 4 + name.size();
    return article.substr(start, article.find("\r\n", start) - start);
}

struct MessageIdParts {
    corvane::PostingTime time;
    std::string host;
};

// Splits "<qx$msg$mp3.SECONDS.MILLISECONDS@HOST>" (both numbers in lower-case hexadecimal);
// nothing when the id has another shape.
inline std::optional<MessageIdParts> splitMessageId(const std::string &id) {
    const std::string prefix = "<qx$msg$mp3.";
    if (!id.starts_with(prefix) || !id.ends_with(">")) return std::nullopt;
    const std::size_t dot = id.find('.', prefix.size());
    const std::size_t at = id.find('@', prefix.size());
    if (dot == std::string::npos || at == std::string::npos || dot > at) return std::nullopt;
    const std::string seconds = id.substr(prefix.size(), dot - prefix.size());
    const std::string milliseconds = id.substr(dot + 1, at - dot - 1);
    for (const std::string *hex : {&seconds, &milliseconds})
        if (hex->empty() || hex->find_first_not_of("0123456789abcdef") != std::string::npos) return std::nullopt;
    MessageIdParts parts;
    parts.time.seconds = static_cast<int64_t>(std::stoull(seconds, nullptr, 16));
    parts.time.milliseconds = static_cast<unsigned>(std::stoul(milliseconds, nullptr, 16));
    parts.host = id.substr(at + 1, id.size() - at - 2);
    return parts;
}

// Sets the local time zone thirteen hours ahead of UTC for its life, so that a date written in
// local time instead of UTC would show.
class FarTimeZone {
public:
    FarTimeZone() {
        if (const char *old = std::getenv("TZ")) old_ = old;
        setenv("TZ", "XST-13", 1);
        tzset();
    }
    ~FarTimeZone() {
        if (old_)
            setenv("TZ", old_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    FarTimeZone(const FarTimeZone &) = delete;
    FarTimeZone &operator=(const FarTimeZone &) = delete;

private:
    std::optional<std::string> old_;
};

}  // namespace harbeat::test
