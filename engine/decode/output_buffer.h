// The output of a decoder run: room that grows with what the part turns out to hold.
#pragma once

#include <cstddef>
#include <string>

namespace corvane {

// Collects the bytes of one decoded part without ever zero-filling room for them: the decoder
// writes into a small block (`block`, then `wrote`), and full blocks are appended to the bytes.
// The bytes first get room for `firstRoom` bytes; a part that outgrows it gets room for `mostRoom`
// (what the rest of the article could hold at most) at once, and beyond that twice as much each
// time. So a part costs what it holds, however long the rest of the article is. Room that is
// reserved but never written is never touched. Throws std::bad_alloc like std::string does.
class DecodedOutput {
public:
    static constexpr std::size_t kBlockBytes = 16384;
    // The first room of a part whose size is not known: far more than a typical song article
    // holds, and taken from the heap without touching it.
    static constexpr std::size_t kFirstRoom = std::size_t(1) << 20;

    DecodedOutput(std::size_t firstRoom, std::size_t mostRoom);
    DecodedOutput(const DecodedOutput &) = delete;
    DecodedOutput &operator=(const DecodedOutput &) = delete;

    // Where the next `bytes` (at most kBlockBytes) may be written.
    unsigned char *block(std::size_t bytes) {
        if (kBlockBytes - used_ < bytes) flush();
        return block_ + used_;
    }
    // How many bytes may be written at block(...).
    std::size_t blockRoom() const { return kBlockBytes - used_; }
    // Keeps `bytes` bytes written at block(...).
    void wrote(std::size_t bytes) { used_ += bytes; }

    // Every byte written so far; the object is empty afterwards.
    std::string take();

private:
    void flush();

    std::string bytes_;
    std::size_t mostRoom_;
    std::size_t used_ = 0;
    unsigned char block_[kBlockBytes];
};

}  // namespace corvane
