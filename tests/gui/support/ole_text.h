// A report text as the engine hands it to the callback: an OLE string, its byte length in a
// 32-bit word in front of the text and a zero unit behind.
#pragma once

#include <QString>
#include <cstdint>
#include <cstring>
#include <string>

namespace harbeat::guitest {

class OleText {
public:
    explicit OleText(const QString &text) {
        const auto bytes = static_cast<uint32_t>(text.size() * 2);
        block_.resize(2);
        std::memcpy(block_.data(), &bytes, sizeof bytes);
        block_.append(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size()));
    }
    const char16_t *get() const { return block_.c_str() + 2; }

private:
    std::u16string block_;
};

}  // namespace harbeat::guitest
