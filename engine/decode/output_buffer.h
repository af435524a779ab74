// The output buffer of a decoder: sized for the whole rest of the article before decoding starts.
#pragma once

#include <cstddef>
#include <string>

namespace corvane {

// Makes `buffer` `size` bytes long. A large buffer is backed by huge pages where the system
// offers them: a song part is megabytes long, and filling it page by page costs more time than
// decoding it. Throws std::bad_alloc like std::string does.
void sizeOutputBuffer(std::string &buffer, std::size_t size);

}  // namespace corvane
