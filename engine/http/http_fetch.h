// The HTTP fetch: one "GET http://host/path" line to port 80 and everything the server sends
// until it closes the connection, unparsed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/connection.h"

namespace corvane {

// The longest address (host, slash, path) that is fetched, and the room for a failure message.
inline constexpr std::size_t kHttpAddressCapacity = 511;
inline constexpr std::size_t kHttpErrorBufferSize = 260;
inline constexpr std::string_view kAddressTooLong = "Address too long.";

// Receives until the server closes the connection; `data` holds every byte received, in order.
// Fails (and leaves `data` empty) on a receive error, a time-out or a cancel request.
int httpReadToEnd(std::string &error, Connection connection, std::string &data);

// Fetches the address. Returns the data received, or the failure's message in the error buffer;
// both texts are the engine's and stay valid until the next call, which releases the data.
const char *httpFetch(const char *address);

// The fetch always connects to port 80; tests point it at a loopback port through this hook,
// which the shared library does not export. 0 restores port 80.
void setHttpPortForTests(int32_t port);

}  // namespace corvane
