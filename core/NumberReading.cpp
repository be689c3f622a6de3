#include "core/NumberReading.h"

#include <locale.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace Pelindra::Core {

namespace {

bool IsSkipped(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsMark(char c, DecimalMark mark) {
    return c == '.' || (c == ',' && mark == DecimalMark::FullStopOrComma);
}

// Walks the text one significant character at a time, stepping over skipped blanks.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    char Peek() {
        while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
        return pos_ < text_.size() ? text_[pos_] : '\0';
    }
    void Take() { ++pos_; }
    std::size_t Pos() const { return pos_; }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

int DigitValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

NumberScan ScanRadix(Cursor& cursor, int radix) {
    NumberScan scan;
    double value = 0;
    while (DigitValue(cursor.Peek()) < radix) {
        value = value * radix + DigitValue(cursor.Peek());
        cursor.Take();
        scan.found = true;
        scan.end = cursor.Pos();
    }
    if (scan.found) scan.value = value;
    return scan;
}

// strtod in the "C" locale, so the full stop is the decimal point whatever the user's locale.
// Most texts have at most 15 digits and no exponent: an exact whole number over an exact
// power of ten, whose one division rounds as strtod does, in a fraction of its time.
double ParseDecimal(const std::string& digits) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::int64_t whole = 0;
    int count = 0;
    int decimals = -1;
    bool exact = digits.size() <= 17;
    for (std::size_t i = 0; exact && i < digits.size(); ++i) {
        const char c = digits[i];
        if (IsDigit(c)) {
            whole = whole * 10 + (c - '0');
            ++count;
            decimals += decimals >= 0;
        } else if (c == '.') {
            decimals = 0;
        } else {
            exact = i == 0 && (c == '+' || c == '-');
        }
    }
    if (exact && count <= 15) {
        // Signed before dividing: under a directed rounding mode the sign decides the way.
        const double signedWhole =
            digits[0] == '-' ? -static_cast<double>(whole) : static_cast<double>(whole);
        return signedWhole / kPowersOfTen[decimals < 0 ? 0 : decimals];
    }
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(digits.c_str(), nullptr, cLocale);
}

NumberScan ScanDecimal(Cursor& cursor, DecimalMark mark) {
    std::string digits;
    if (cursor.Peek() == '+' || cursor.Peek() == '-') {
        digits += cursor.Peek();
        cursor.Take();
    }
    bool anyDigit = false;
    bool point = false;
    std::size_t end = 0;
    for (char c = cursor.Peek(); IsDigit(c) || (IsMark(c, mark) && !point); c = cursor.Peek()) {
        point = point || !IsDigit(c);
        anyDigit = anyDigit || IsDigit(c);
        digits += IsDigit(c) ? c : '.';
        cursor.Take();
        end = cursor.Pos();
    }
    if (!anyDigit) return {};

    // An exponent counts only with at least one digit; otherwise the number ends before the E.
    if (cursor.Peek() == 'e' || cursor.Peek() == 'E') {
        std::string exponent = "e";
        cursor.Take();
        if (cursor.Peek() == '+' || cursor.Peek() == '-') {
            exponent += cursor.Peek();
            cursor.Take();
        }
        while (IsDigit(cursor.Peek())) {
            exponent += cursor.Peek();
            cursor.Take();
            end = cursor.Pos();
        }
        if (IsDigit(exponent.back())) digits += exponent;
    }
    return {ParseDecimal(digits), true, end};
}

}  // namespace

NumberScan ScanNumber(std::string_view text, DecimalMark mark) {
    Cursor cursor(text);
    if (cursor.Peek() != '&') return ScanDecimal(cursor, mark);
    cursor.Take();
    const char kind = cursor.Peek();
    cursor.Take();
    if (kind == 'h' || kind == 'H') return ScanRadix(cursor, 16);
    if (kind == 'o' || kind == 'O') return ScanRadix(cursor, 8);
    return {};
}

bool IsWholeNumber(std::string_view text) {
    const NumberScan scan = ScanNumber(text);
    if (!scan.found) return false;
    for (std::size_t i = scan.end; i < text.size(); ++i) {
        if (!IsSkipped(text[i])) return false;
    }
    return true;
}

std::optional<double> ReadExactNumber(std::string_view text) {
    auto blank = [](char c) { return IsSkipped(c) || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);

    std::string digits;
    std::size_t i = 0;
    auto take = [&](char c) { digits += c == ',' ? '.' : c; };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) take(text[i++]);
    std::size_t mantissaDigits = 0;
    bool point = false;
    for (; i < text.size() &&
           (IsDigit(text[i]) || (!point && IsMark(text[i], DecimalMark::FullStopOrComma)));
         ++i) {
        point = point || !IsDigit(text[i]);
        mantissaDigits += IsDigit(text[i]) ? 1 : 0;
        take(text[i]);
    }
    if (mantissaDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        take(text[i++]);
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) take(text[i++]);
        const std::size_t exponentStart = i;
        while (i < text.size() && IsDigit(text[i])) take(text[i++]);
        if (i == exponentStart) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    return ParseDecimal(digits);
}

}  // namespace Pelindra::Core
