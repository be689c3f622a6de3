#include "core/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace Pelindra::Core {

namespace {

constexpr int kSignificantDigits = 7;

struct Decimal {
    std::string digits;  // significant digits, no trailing zeros, at least one
    int exponent = 0;    // power of ten of the first digit
};

// The magnitude rounded to seven significant digits, halves away from zero. The exact
// decimal expansion of a float has at most 112 significant digits, so 120 is exact.
Decimal RoundToSignificant(double magnitude) {
    char buffer[160];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, 120);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t e = text.find('e');

    std::string exact;  // all digits of the mantissa, without the point
    for (char c : text.substr(0, e)) {
        if (c != '.') exact += c;
    }
    Decimal decimal;
    decimal.exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
    decimal.digits = exact.substr(0, kSignificantDigits);

    if (exact[kSignificantDigits] >= '5') {
        int i = kSignificantDigits - 1;
        while (i >= 0 && decimal.digits[static_cast<std::size_t>(i)] == '9') {
            decimal.digits[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0) {
            decimal.digits.insert(decimal.digits.begin(), '1');
            decimal.digits.pop_back();
            ++decimal.exponent;
        } else {
            ++decimal.digits[static_cast<std::size_t>(i)];
        }
    }
    const std::size_t last = decimal.digits.find_last_not_of('0');
    decimal.digits.erase(last + 1);
    return decimal;
}

// The texts below are built by appending only: GCC 12 at -O3 warns (-Wrestrict, a false
// positive in libstdc++) about prepending to a string, as `"x" + std::string` does.
std::string ExponentForm(const Decimal& d) {
    std::string text(1, d.digits[0]);
    if (d.digits.size() > 1) {
        text += '.';
        text.append(d.digits, 1);
    }
    const int magnitude = std::abs(d.exponent);
    text += d.exponent < 0 ? "E-" : "E+";
    if (magnitude < 10) text += '0';
    text += std::to_string(magnitude);
    return text;
}

std::string PlainForm(const Decimal& d) {
    std::string text;
    if (d.exponent < 0) {
        text = "0.";
        text.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        text += d.digits;
        return text;
    }
    const std::size_t integerDigits = static_cast<std::size_t>(d.exponent) + 1;
    if (d.digits.size() <= integerDigits) {
        text = d.digits;
        text.append(integerDigits - d.digits.size(), '0');
        return text;
    }
    text.assign(d.digits, 0, integerDigits);
    text += '.';
    text.append(d.digits, integerDigits);
    return text;
}

}  // namespace

std::string NumberText(float value) {
    if (value == 0) return " 0";
    const Decimal decimal = RoundToSignificant(std::fabs(static_cast<double>(value)));
    const bool exponentForm = decimal.exponent >= kSignificantDigits || decimal.exponent < -4;
    std::string text(1, value < 0 ? '-' : ' ');
    text += exponentForm ? ExponentForm(decimal) : PlainForm(decimal);
    return text;
}

std::string NumberText(std::int16_t value) {
    std::string text = value < 0 ? "" : " ";
    text += std::to_string(value);
    return text;
}

}  // namespace Pelindra::Core
