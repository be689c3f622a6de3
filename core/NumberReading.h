#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace Pelindra::Core {

// How every text in the program becomes a number: blanks, tabs and line feeds are
// skipped anywhere; then an optional sign, digits with at most one decimal mark and an
// optional E exponent, or &H / &O followed by a hexadecimal / octal whole number. The
// longest leading part that forms a number counts; a text without one reads as 0.
struct NumberScan {
    double value = 0;
    bool found = false;   // a leading number was present
    std::size_t end = 0;  // index just past its last character
};

// The settings file knows only the full stop; what a user types into a box may use a
// comma as well, whatever the locale, since the window shows numbers with the locale's.
enum class DecimalMark { FullStop, FullStopOrComma };

NumberScan ScanNumber(std::string_view text, DecimalMark mark = DecimalMark::FullStop);

// The settings file's rule.
inline double ReadNumber(std::string_view text) {
    return ScanNumber(text).value;
}

// The rule of the five text boxes, and of the box texts kept in the settings file.
inline double ReadTypedNumber(std::string_view text) {
    return ScanNumber(text, DecimalMark::FullStopOrComma).value;
}

// True when the whole text, blanks aside, is one number.
bool IsWholeNumber(std::string_view text);

// For scripts, which must not be guessed at: the whole text is one plain decimal number
// (digits, an optional sign and exponent, a full stop or a comma as the decimal mark),
// with blanks allowed only around it. nullopt otherwise.
std::optional<double> ReadExactNumber(std::string_view text);

}  // namespace Pelindra::Core
