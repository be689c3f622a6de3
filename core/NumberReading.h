#pragma once

#include <cstddef>
#include <string_view>

// How every text in the program becomes a number: blanks, tabs and line feeds are
// skipped anywhere; then an optional sign, digits with at most one full stop and an
// optional E exponent, or &H / &O followed by a hexadecimal / octal whole number. The
// longest leading part that forms a number counts; a text without one reads as 0.
struct NumberScan {
    double value = 0;
    bool found = false;   // a leading number was present
    std::size_t end = 0;  // index just past its last character
};

NumberScan ScanNumber(std::string_view text);

inline double ReadNumber(std::string_view text) {
    return ScanNumber(text).value;
}

// True when the whole text, blanks aside, is one number.
bool IsWholeNumber(std::string_view text);
