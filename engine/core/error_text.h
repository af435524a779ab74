// Messages shared by several operations, and the copy of a message into a caller's buffer.
#pragma once

#include <string_view>

namespace corvane {

inline constexpr std::string_view kNotConnected = "Not connected to server";
inline constexpr std::string_view kTimedOut = "Timed Out, server has not responded.";
inline constexpr std::string_view kCancelled = "Operation cancelled by user.";
inline constexpr std::string_view kConnectionClosed = "Connection closed by server.";
inline constexpr std::string_view kOutOfMemory = "Out of memory.";

// Caller buffers hold 256 characters: the message is cut to 255 plus the terminating zero.
inline constexpr std::size_t kCallerErrorCapacity = 255;
void copyErrorText(char *buffer, std::string_view message);

// True when the message marks a time-out ("Timed Out" prefix, which the GUI tests too).
bool isTimeOut(std::string_view message);

}  // namespace corvane
