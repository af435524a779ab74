#include "article_text.h"

#include <algorithm>
#include <charconv>

namespace harbeat::newsd {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && (isBlank(text.back()) || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return text;
}

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

}  // namespace

std::string normalizeLineEnds(std::string text) {
    std::size_t bareLineFeeds = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ++bareLineFeeds;
    }
    if (bareLineFeeds > 0) {
        std::string fixed;
        fixed.reserve(text.size() + bareLineFeeds);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) fixed += '\r';
            fixed += text[i];
        }
        text = std::move(fixed);
    }
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)) {
        // A last line that ends in a lone CR only needs its LF.
        text += text.back() == '\r' ? "\n" : "\r\n";
    }
    return text;
}

std::optional<ArticleLayout> findArticleLayout(std::string_view article) {
    if (article.starts_with("\r\n")) return ArticleLayout{0, 2};
    const std::size_t emptyLine = article.find("\r\n\r\n");
    if (emptyLine == std::string_view::npos) return std::nullopt;
    return ArticleLayout{emptyLine + 2, emptyLine + 4};
}

std::string headerProblem(std::string_view header) {
    if (header.empty()) return "the article has no header lines";
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find("\r\n", start);
        if (end == std::string_view::npos) end = header.size();
        const std::string_view line = header.substr(start, end - start);
        if (isBlank(line.empty() ? 'x' : line.front())) {
            if (start == 0) return "the header starts with a continuation line";
        } else {
            const std::size_t colon = line.find(':');
            if (colon == 0 || colon == std::string_view::npos) {
                return "malformed header line \"" + std::string(line.substr(0, 60)) + "\"";
            }
            for (char c : line.substr(0, colon)) {
                if (c <= 32 || c >= 127) return "malformed header name \"" + std::string(line.substr(0, colon)) + "\"";
            }
        }
        start = end + 2;
    }
    return {};
}

std::optional<std::string> headerValue(std::string_view header, std::string_view name) {
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find("\r\n", start);
        if (end == std::string_view::npos) end = header.size();
        const std::string_view line = header.substr(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            equalsIgnoringCase(line.substr(0, name.size()), name)) {
            std::string value(line.substr(name.size() + 1));
            // Unfolding removes the line break before each continuation line and keeps its blanks.
            std::size_t next = end + 2;
            while (next < header.size() && isBlank(header[next])) {
                std::size_t nextEnd = header.find("\r\n", next);
                if (nextEnd == std::string_view::npos) nextEnd = header.size();
                value.append(header.substr(next, nextEnd - next));
                next = nextEnd + 2;
            }
            return std::string(trimBlanks(value));
        }
        start = end + 2;
    }
    return std::nullopt;
}

std::vector<std::string> splitNewsgroups(std::string_view value) {
    std::vector<std::string> groups;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find(',', start);
        if (end == std::string_view::npos) end = value.size();
        const std::string_view name = trimBlanks(value.substr(start, end - start));
        if (!name.empty() && std::find(groups.begin(), groups.end(), name) == groups.end()) {
            groups.emplace_back(name);
        }
        start = end + 1;
    }
    return groups;
}

bool isValidMessageId(std::string_view messageId) {
    if (messageId.size() < 3 || messageId.size() > 250) return false;
    if (messageId.front() != '<' || messageId.back() != '>') return false;
    for (std::size_t i = 1; i + 1 < messageId.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(messageId[i]);
        if (c <= 32 || c == 127 || c == '<' || c == '>') return false;
    }
    return true;
}

bool isValidGroupName(std::string_view name) {
    if (name.empty() || name.size() > 497) return false;
    for (unsigned char c : name) {
        if (c <= 32 || c == 127 || c == '*' || c == '?' || c == '[' || c == ']' || c == '!' || c == ',' || c == '\\') {
            return false;
        }
    }
    return true;
}

std::size_t countLines(std::string_view text) {
    std::size_t lines = 0;
    std::size_t position = 0;
    while ((position = text.find("\r\n", position)) != std::string_view::npos) {
        ++lines;
        position += 2;
    }
    if (!text.empty() && !text.ends_with("\r\n")) ++lines;
    return lines;
}

void appendOverviewField(std::string &out, std::string_view value) {
    const std::size_t start = out.size();
    out.append(value);
    for (std::size_t i = start; i < out.size(); ++i) {
        if (out[i] == '\t' || out[i] == '\r' || out[i] == '\n') out[i] = ' ';
    }
}

void appendNumber(std::string &out, unsigned long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

std::string toUpperAscii(std::string_view text) {
    std::string result(text);
    for (char &c : result) c = upper(c);
    return result;
}

}  // namespace harbeat::newsd
