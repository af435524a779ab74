// The names of a server certificate, as the "Certificate is for another host" message lists them:
// any bytes, as a hostile server may send them.
#include <cstddef>
#include <cstdint>

#include "net/tls_transport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string names = corvane::certificateHostNames(data, size);
    for (const char c : names)
        if (c < 0x20 || c > 0x7e) __builtin_trap();
    return 0;
}
