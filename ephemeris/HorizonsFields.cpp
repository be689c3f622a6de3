#include "ephemeris/HorizonsFields.h"

#include <cmath>
#include <tuple>

#include "core/NumberReading.h"
#include "ephemeris/UtcTime.h"

namespace Pelindra::Ephemeris {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// `minDigits` to `maxDigits` digits at the front of `text`, which they leave.
bool TakeDigits(std::string_view& text, std::size_t minDigits, std::size_t maxDigits, int& value) {
    // At most six digits: always fits.
    std::size_t n = 0;
    int digits = 0;
    for (; n < text.size() && n < maxDigits && IsDigit(text[n]); ++n) {
        digits = digits * 10 + (text[n] - '0');
    }
    if (n < minDigits) return false;
    value = digits;
    text.remove_prefix(n);
    return true;
}

bool Take(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) return false;
    text.remove_prefix(1);
    return true;
}

bool TakeMonth(std::string_view& text, int& month) {
    if (!text.empty() && IsDigit(text.front())) return TakeDigits(text, 1, 2, month);
    if (text.size() < 3) return false;
    // The three letters as one number, in any case: "Nov", "NOV" and "nov" alike.
    constexpr auto key = [](unsigned char a, unsigned char b, unsigned char c) {
        return (a | 0x20) << 16 | (b | 0x20) << 8 | (c | 0x20);
    };
    static constexpr int kMonths[] = {key('j', 'a', 'n'), key('f', 'e', 'b'), key('m', 'a', 'r'),
                                      key('a', 'p', 'r'), key('m', 'a', 'y'), key('j', 'u', 'n'),
                                      key('j', 'u', 'l'), key('a', 'u', 'g'), key('s', 'e', 'p'),
                                      key('o', 'c', 't'), key('n', 'o', 'v'), key('d', 'e', 'c')};
    const int name = key(static_cast<unsigned char>(text[0]), static_cast<unsigned char>(text[1]),
                         static_cast<unsigned char>(text[2]));
    for (int i = 0; i < 12; ++i) {
        if (kMonths[i] == name) {
            month = i + 1;
            text.remove_prefix(3);
            return true;
        }
    }
    return false;
}

// Unsigned decimal seconds of a fixed form: `wholeDigits` digits ("42"; 0: one or two) and an
// optional fraction ("42.812"). Digits, not the general number rule: a sign or an exponent
// has no place in them. One division of exact integers rounds as reading the text would.
bool TakeSeconds(std::string_view& text, std::size_t wholeDigits, double& seconds) {
    static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    int whole = 0;
    if (!TakeDigits(text, wholeDigits == 0 ? 1 : wholeDigits, wholeDigits == 0 ? 2 : wholeDigits,
                    whole)) {
        return false;
    }
    std::int64_t scaled = whole;
    std::size_t fractionDigits = 0;
    if (Take(text, '.')) {
        for (; !text.empty() && IsDigit(text.front()); text.remove_prefix(1)) {
            // Past the thirteenth decimal a digit changes nothing a table can mean.
            if (fractionDigits == 13) continue;
            scaled = scaled * 10 + (text.front() - '0');
            ++fractionDigits;
        }
        if (fractionDigits == 0) return false;
    }
    seconds = static_cast<double>(scaled) / kPowersOfTen[fractionDigits];
    return true;
}

// An unsigned whole part of a sexagesimal angle: the text is digits only.
std::optional<int> WholePart(std::string_view text, int largest) {
    int value = 0;
    if (!TakeDigits(text, 1, 3, value) || !text.empty() || value > largest) return std::nullopt;
    return value;
}

// Seconds of a sexagesimal angle: below 60.
std::optional<double> SecondsPart(std::string_view text) {
    double seconds = 0;
    if (!TakeSeconds(text, 0, seconds) || !text.empty() || !(seconds < 60)) return std::nullopt;
    return seconds;
}

std::optional<double> Sexagesimal(std::string_view whole, int largest, std::string_view minutes,
                                  std::string_view seconds) {
    const std::optional<int> w = WholePart(whole, largest);
    const std::optional<int> m = WholePart(minutes, 59);
    const std::optional<double> s = SecondsPart(seconds);
    if (!w || !m || !s) return std::nullopt;
    return ((*w * 60 + *m) * 60 + *s) / 3600;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<UtcMs> ReadHorizonsDate(std::string_view date, std::string_view clock,
                                      HorizonsCalendar calendar) {
    const bool beforeChrist = Take(date, 'b');
    int year = 0, month = 0, day = 0;
    if (!TakeDigits(date, 1, 6, year) || !Take(date, '-') || !TakeMonth(date, month) ||
        !Take(date, '-') || !TakeDigits(date, 1, 2, day) || !date.empty()) {
        return std::nullopt;
    }
    if (beforeChrist) {
        // There is no year 0 B.C.: 1 B.C. is the year 0 of the arithmetic.
        if (year == 0) return std::nullopt;
        year = 1 - year;
    }

    int hour = 0, minute = 0;
    double seconds = 0;
    if (!clock.empty()) {
        if (!TakeDigits(clock, 2, 2, hour) || !Take(clock, ':') ||
            !TakeDigits(clock, 2, 2, minute)) {
            return std::nullopt;
        }
        if (Take(clock, ':') && !TakeSeconds(clock, 2, seconds)) return std::nullopt;
        if (!clock.empty()) return std::nullopt;
    }

    if (calendar == HorizonsCalendar::Mixed &&
        std::tuple(year, month, day) < std::tuple(1582, 10, 15)) {
        // The ten days the Gregorian reform dropped were never dated.
        if (std::tuple(year, month, day) >= std::tuple(1582, 10, 5)) return std::nullopt;
        return FromJulianCalendar(year, month, day, hour, minute, seconds);
    }
    return FromGregorian(year, month, day, hour, minute, seconds);
}

std::optional<std::int64_t> ReadZoneOffsetMs(std::string_view text) {
    text = TrimBlanks(text);
    bool named = false;
    for (std::string_view prefix : {"UTC", "UT"}) {
        if (text.starts_with(prefix)) {
            text.remove_prefix(prefix.size());
            named = true;
            break;
        }
    }
    if (named && (text.empty() || IsBlank(text.front()))) return 0;
    int sign = 1;
    if (Take(text, '-')) {
        sign = -1;
    } else if (!Take(text, '+')) {
        return std::nullopt;
    }
    int hours = 0, minutes = 0;
    if (!TakeDigits(text, 1, 2, hours) || hours > 23) return std::nullopt;
    if (Take(text, ':') && (!TakeDigits(text, 2, 2, minutes) || minutes > 59)) {
        return std::nullopt;
    }
    // Horizons may name the zone after its offset.
    if (!text.empty() && !IsBlank(text.front())) return std::nullopt;
    return sign * (hours * 60 + minutes) * std::int64_t{60'000};
}

HorizonsField ReadHorizonsField(std::string_view text) {
    text = TrimBlanks(text);
    if (text == "n.a." || (!text.empty() && text.find_first_not_of('*') == text.npos)) {
        return {HorizonsField::Kind::Missing, 0};
    }
    const std::optional<double> value = Core::ReadExactNumber(text);
    if (!value || !std::isfinite(*value)) return {};
    return {HorizonsField::Kind::Number, *value};
}

std::optional<RaDec> ReadRaDec(std::span<const std::string_view> ra,
                               std::span<const std::string_view> dec) {
    if (ra.size() == 3 && dec.size() == 3) {
        std::string_view degrees = dec[0];
        const bool south = Take(degrees, '-');
        if (!south) Take(degrees, '+');
        const std::optional<double> hours = Sexagesimal(ra[0], 23, ra[1], ra[2]);
        const std::optional<double> d = Sexagesimal(degrees, 90, dec[1], dec[2]);
        if (!hours || !d || *d > 90) return std::nullopt;
        // The sign belongs to the whole text: "-00 43 53.4" is south of the equator.
        return RaDec{*hours * 15, south ? -*d : *d};
    }
    if (ra.size() == 1 && dec.size() == 1) {
        const HorizonsField r = ReadHorizonsField(ra[0]);
        const HorizonsField d = ReadHorizonsField(dec[0]);
        if (r.kind != HorizonsField::Kind::Number || d.kind != HorizonsField::Kind::Number ||
            r.value < 0 || r.value >= 360 || std::fabs(d.value) > 90) {
            return std::nullopt;
        }
        return RaDec{r.value, d.value};
    }
    return std::nullopt;
}

}  // namespace Pelindra::Ephemeris
