// Articles of many small encoded parts: how long one takes to decode, and how soon a Stop ends
// its decoding. Run by hand:
//   build/bin/many_parts_bench [parts] [stop-after-ms]      (default 80000 parts, 3000 ms)
// For each encoding (yEnc, uuencode, Base64) an article of `parts` tiny parts (about 96 bytes
// each, 7.7 MB for 80,000), and one of 1,000 parts of the same total size, are decoded whole; then
// the tiny-parts article is decoded again on a second thread and a Stop is requested after
// `stop-after-ms` (or halfway through, when the whole decode takes less than twice that), and the
// time from the Stop to the decoder's return is shown.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "core/engine_settings.h"
#include "decode/article_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string padLine(std::size_t length, char fill) { return std::string(length, fill) + "\r\n"; }

// One part of about `size` bytes of article text: a single-part post of its own.
std::string yencPart(std::size_t index, std::size_t size) {
    const std::string name = "many" + std::to_string(index % 10) + ".mp3";
    const std::size_t fixed =
        std::string("=ybegin line=128 size=00 name=\r\n\r\n=yend size=00\r\n").size() + name.size();
    const std::size_t data = size > fixed + 10 ? size - fixed : 10;
    const std::string count = std::to_string(data);
    // Each "a" stands for the byte 0x37.
    return "=ybegin line=128 size=" + count + " name=" + name + "\r\n" + std::string(data, 'a') +
           "\r\n=yend size=" + count + "\r\n";
}

std::string uuPart(std::size_t index, std::size_t size) {
    const std::string head = "begin 644 many" + std::to_string(index % 10) + ".mp3\r\n";
    const std::string tail = "`\r\nend\r\n";
    std::string body;
    const std::size_t fixed = head.size() + tail.size();
    // Full lines of 45 bytes ("M" + 60 characters), then the rest in one shorter line.
    std::size_t left = size > fixed + 8 ? size - fixed : 8;
    while (left >= 63 + 8) {
        body += "M" + std::string(60, 'a') + "\r\n";
        left -= 63;
    }
    const std::size_t chars = (left - 3) / 4 * 4;
    body += std::string(1, static_cast<char>(32 + chars / 4 * 3)) + std::string(chars, 'a') + "\r\n";
    return head + body + tail;
}

std::string base64Part(std::size_t index, std::size_t size) {
    const std::string head = "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"many" +
                             std::to_string(index % 10) + ".mp3\"\r\n\r\n";
    const std::size_t fixed = head.size() + 4;
    std::string body;
    std::size_t left = size > fixed + 8 ? size - fixed : 8;
    while (left >= 78 + 8) {
        body += padLine(76, 'Q');
        left -= 78;
    }
    body += padLine((left - 2) / 4 * 4, 'Q');
    return head + body + "\r\n";
}

std::string article(std::string (*part)(std::size_t, std::size_t), std::size_t parts, std::size_t total) {
    std::string text = "From: bench@example.com\r\nSubject: many parts\r\n\r\n";
    text.reserve(total + total / 8);
    for (std::size_t i = 0; i < parts; ++i) text += part(i, total / parts);
    return text;
}

double decodeSeconds(const std::string &text, int &result) {
    corvane::DecodedFileList list;
    const auto start = Clock::now();
    result = corvane::decodeArticle(text.data(), text.size(), &list);
    return secondsSince(start);
}

// Seconds from the Stop to the decoder's return; -1 when it returned before the Stop.
double stopLatency(const std::string &text, double stopAfter) {
    corvane::setCancelRequested(false);
    Clock::time_point returned;
    std::thread decoder([&] {
        corvane::DecodedFileList list;
        corvane::decodeArticle(text.data(), text.size(), &list);
        returned = Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(stopAfter));
    const auto stopped = Clock::now();
    corvane::setCancelRequested(true);
    decoder.join();
    corvane::setCancelRequested(false);
    return returned < stopped ? -1 : std::chrono::duration<double>(returned - stopped).count();
}

}  // namespace

int main(int argc, char **argv) {
    const std::size_t parts = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 80000;
    const double stopAfter = (argc > 2 ? std::strtod(argv[2], nullptr) : 3000) / 1000;
    const std::size_t total = parts * 96;
    struct Kind {
        const char *name;
        std::string (*part)(std::size_t, std::size_t);
    };
    for (const Kind &kind : {Kind{"yEnc", yencPart}, Kind{"uuencode", uuPart}, Kind{"Base64", base64Part}}) {
        const std::string tiny = article(kind.part, parts, total);
        const std::string fewer = article(kind.part, 1000, total);
        int result = 0;
        const double tinySeconds = decodeSeconds(tiny, result);
        std::printf("%-9s %zu parts, %.1f MB: %8.3f s (result %d)\n", kind.name, parts, tiny.size() / 1e6, tinySeconds,
                    result);
        const double fewerSeconds = decodeSeconds(fewer, result);
        std::printf("%-9s 1000 parts, %.1f MB: %8.3f s (result %d)\n", kind.name, fewer.size() / 1e6, fewerSeconds,
                    result);
        const double after = tinySeconds < 2 * stopAfter ? tinySeconds / 2 : stopAfter;
        const double latency = stopLatency(tiny, after);
        if (latency < 0)
            std::printf("%-9s Stop after %.3f s: the decoder had returned already\n", kind.name, after);
        else
            std::printf("%-9s Stop after %.3f s: returned %.4f s later\n", kind.name, after, latency);
    }
    return 0;
}
