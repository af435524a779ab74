#include "decode/dot_stuffing.h"

#include <cstring>

namespace corvane {

void undoDotStuffing(std::string &text) {
    char *const data = text.data();
    const std::size_t size = text.size();
    std::size_t read = 0;
    std::size_t write = 0;
    // At each line start: drop one dot of a doubled one, then copy the line up to and
    // including its CR LF (or the rest of the text).
    while (read < size) {
        if (read + 1 < size && data[read] == '.' && data[read + 1] == '.') ++read;
        std::size_t next = size;
        for (const char *p = data + read; p < data + size;) {
            const auto *lf = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(data + size - p)));
            if (!lf) break;
            if (lf > data + read && lf[-1] == '\r') {
                next = static_cast<std::size_t>(lf - data) + 1;
                break;
            }
            p = lf + 1;
        }
        if (write != read) std::memmove(data + write, data + read, next - read);
        write += next - read;
        read = next;
    }
    text.resize(write);
}

}  // namespace corvane
