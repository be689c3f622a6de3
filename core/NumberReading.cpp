#include "core/NumberReading.h"

#include <locale.h>

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
double ParseDecimal(const std::string& digits) {
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
