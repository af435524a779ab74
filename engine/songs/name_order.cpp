#include "songs/name_order.h"

#include <algorithm>
#include <cstdint>

namespace corvane {
namespace {

// Eight bytes of a name from `from` on as a big-endian number, zero-padded behind a shorter name.
uint64_t leadingBytes(std::string_view name, std::size_t from) {
    uint64_t leading = 0;
    for (std::size_t i = from; i < from + 8; ++i)
        leading = (leading << 8) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
    return leading;
}

// Sorts keys[begin, end), whose names agree in their first `depth` bytes (zero-padded), by the
// 16 bytes from `depth` on, held as numbers beside the sort keys so that most comparisons never
// read the scattered names; runs that agree in those too are sorted by the next 16 bytes. Names
// of one artist share long starts, which a comparison of whole names would read again each
// time. A run whose names all end within the bytes compared (names that differ only in zero
// bytes at their end) falls back to the full comparison, which string_view does through
// char_traits<char>, as unsigned bytes.
template <typename Key>
void sortFrom(std::vector<Key> &keys, std::size_t begin, std::size_t end, std::size_t depth,
              const std::vector<std::string_view> &names) {
    bool longer = false;
    for (std::size_t i = begin; i < end; ++i) {
        const std::string_view name = names[keys[i].name];
        keys[i].leading = leadingBytes(name, depth);
        keys[i].next = leadingBytes(name, depth + 8);
        longer = longer || name.size() > depth + 16;
    }
    const auto first = keys.begin() + static_cast<std::ptrdiff_t>(begin);
    const auto last = keys.begin() + static_cast<std::ptrdiff_t>(end);
    if (!longer) {
        std::sort(first, last, [&names](const Key &a, const Key &b) { return names[a.name] < names[b.name]; });
        return;
    }
    std::sort(first, last, [](const Key &a, const Key &b) {
        return a.leading != b.leading ? a.leading < b.leading : a.next < b.next;
    });
    for (std::size_t run = begin; run < end;) {
        std::size_t runEnd = run + 1;
        while (runEnd < end && keys[runEnd].leading == keys[run].leading && keys[runEnd].next == keys[run].next)
            ++runEnd;
        if (runEnd - run > 1) sortFrom(keys, run, runEnd, depth + 16, names);
        run = runEnd;
    }
}

}  // namespace

std::vector<std::size_t> namesInByteOrder(const std::vector<std::string_view> &names) {
    struct Key {
        uint64_t leading;
        uint64_t next;
        std::size_t name;
    };
    std::vector<Key> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) keys[i].name = i;
    sortFrom(keys, 0, keys.size(), 0, names);
    std::vector<std::size_t> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].name;
    return order;
}

}  // namespace corvane
