#include "decode/output_buffer.h"

#include <algorithm>

#include "core/huge_pages.h"

namespace corvane {
namespace {

// Reserves room for `size` bytes; a large room is backed by huge pages where the system offers
// them: a song is megabytes long, and taking it page by page costs more time than decoding it.
void reserveRoom(std::string &bytes, std::size_t size) {
    bytes.reserve(size);
    adviseHugePages(bytes.data(), bytes.capacity());
}

}  // namespace

DecodedOutput::DecodedOutput(std::size_t firstRoom, std::size_t mostRoom) : mostRoom_(mostRoom) {
    reserveRoom(bytes_, std::min(firstRoom, mostRoom));
}

void DecodedOutput::flush() {
    if (used_ == 0) return;
    const std::size_t needed = bytes_.size() + used_;
    if (needed > bytes_.capacity()) {
        const std::size_t next = needed <= mostRoom_ ? mostRoom_ : std::max(needed, bytes_.capacity() * 2);
        reserveRoom(bytes_, next);
    }
    bytes_.append(reinterpret_cast<const char *>(block_), used_);
    used_ = 0;
}

std::string DecodedOutput::take() {
    flush();
    return std::move(bytes_);
}

}  // namespace corvane
