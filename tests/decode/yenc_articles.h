// yEnc test articles made with our own encoder (tools/yenc), whose output the uudeview check
// holds against an independent decoder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "yenc/yenc_encoder.h"

namespace harbeat::test {

// Pseudo-random but fixed bytes; every byte value occurs, so every escape is exercised.
inline std::string yencPayload(std::size_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char &c : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

// A whole article as a news server stores it: headers, empty line, body, CR LF line ends.
inline std::string yencArticle(const std::string &subject, const std::string &messageId, const std::string &body) {
    return "From: poster@example.com\r\nNewsgroups: alt.binaries.sounds.mp3\r\nSubject: " + subject +
           "\r\nMessage-ID: " + messageId + "\r\n\r\n" + body;
}

// The articles of `file` posted under `name` in `parts` parts, with the usual yEnc subjects.
inline std::vector<std::string> yencSong(const std::string &file, const std::string &name, int parts,
                                         const std::string &idPrefix, int lineLength = 128) {
    std::vector<std::string> articles;
    const std::vector<std::string> bodies = harbeat::yenc::encodeParts(file, name, parts, lineLength);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const std::string subject = "\"" + name + "\" yEnc (" + std::to_string(i + 1) + "/" +
                                    std::to_string(bodies.size()) + ") " + std::to_string(file.size());
        articles.push_back(
            yencArticle(subject, "<" + idPrefix + "-" + std::to_string(i + 1) + "@harbeat.test>", bodies[i]));
    }
    return articles;
}

}  // namespace harbeat::test
