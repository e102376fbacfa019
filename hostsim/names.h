// Names as the host's scripting language compares them: without regard to
// case (ASCII letters), keeping their spelling otherwise. The one comparison
// the stand-in host, its loader and the console's language share.
#pragma once

#include <string>
#include <string_view>

namespace hostsim {

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string LowerCase(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) {
        c = LowerAscii(c);
    }
    return lower;
}

constexpr bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace hostsim
