#include "decode/output_buffer.h"

#include "core/huge_pages.h"

namespace corvane {

void sizeOutputBuffer(std::string &buffer, std::size_t size) {
    buffer.clear();
    buffer.reserve(size);
    adviseHugePages(buffer.data(), size);
    buffer.resize(size);
}

}  // namespace corvane
