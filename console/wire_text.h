// The console's text about MIDI (the trace, play files, their errors): two
// hexadecimal digits a byte, upper-case when written, and messages joined
// from their parts.
#pragma once

#include <cctype>
#include <cstdint>
#include <string>

namespace console {

inline void AppendHex(std::string& text, uint8_t byte) {
    static const char kHex[] = "0123456789ABCDEF";
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
}

inline std::string Hex(uint8_t byte) {
    std::string text;
    AppendHex(text, byte);
    return text;
}

// Either case; false unless `word` is exactly two hexadecimal digits.
inline bool ParseHex(const std::string& word, uint8_t* byte) {
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    if (word.size() != 2 || digit(word[0]) < 0 || digit(word[1]) < 0) {
        return false;
    }
    *byte = static_cast<uint8_t>(digit(word[0]) * 16 + digit(word[1]));
    return true;
}

// The parts of a message joined, each appended as it is.
template <typename... Parts>
std::string Cat(const Parts&... parts) {
    std::string text;
    (text.append(parts), ...);
    return text;
}

}  // namespace console
