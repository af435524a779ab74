// The committed test articles (made by make_fixtures.sh with GNU uuencode and mpack) and the
// payloads they carry. Needs HARBEAT_DECODE_DATA, the folder that holds them.
#pragma once

#include <string>

#include "support/test_environment.h"

namespace harbeat::test {

inline std::string fixture(const std::string &name) { return readFile(std::string(HARBEAT_DECODE_DATA) + "/" + name); }

// What a news server sends for the article: ".." for every line that starts with ".".
inline std::string dotStuffed(const std::string &article) {
    std::string out;
    bool lineStart = true;
    for (std::size_t i = 0; i < article.size(); ++i) {
        if (lineStart && article[i] == '.') out += '.';
        out += article[i];
        lineStart = article[i] == '\n' && i > 0 && article[i - 1] == '\r';
    }
    return out;
}

}  // namespace harbeat::test
