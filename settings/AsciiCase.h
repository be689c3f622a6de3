#pragma once

#include <string_view>

namespace Pelindra::Settings {

// Section and key names, and the words True and False, match without regard to letter
// case. Only ASCII letters fold: folding UTF-8 bytes would corrupt them.
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

}  // namespace Pelindra::Settings
