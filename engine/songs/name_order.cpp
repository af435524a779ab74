#include "songs/name_order.h"

#include <algorithm>
#include <cstdint>

namespace corvane {
namespace {

// The first eight bytes of a name as a big-endian number, zero-padded behind a shorter name.
uint64_t leadingBytes(std::string_view name) {
    uint64_t leading = 0;
    for (std::size_t i = 0; i < 8; ++i)
        leading = (leading << 8) | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
    return leading;
}

}  // namespace

// The names lie scattered over the parts table's blocks; comparing their first eight bytes as
// numbers held beside the sort keys settles most comparisons without reading the names. Only
// equal leading bytes (names of one artist, or a name ending in zero bytes against its own
// prefix) fall back to the full comparison, which string_view does through char_traits<char>,
// as unsigned bytes.
std::vector<std::size_t> namesInByteOrder(const std::vector<std::string_view> &names) {
    struct Key {
        uint64_t leading;
        std::size_t name;
    };
    std::vector<Key> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) keys[i] = {leadingBytes(names[i]), i};
    std::sort(keys.begin(), keys.end(), [&names](const Key &a, const Key &b) {
        return a.leading != b.leading ? a.leading < b.leading : names[a.name] < names[b.name];
    });
    std::vector<std::size_t> order(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) order[i] = keys[i].name;
    return order;
}

}  // namespace corvane
