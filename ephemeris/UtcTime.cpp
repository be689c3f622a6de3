#include "ephemeris/UtcTime.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace Pelindra::Ephemeris {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
// Julian date of 1970-01-01 00:00 UTC.
constexpr double kUnixEpochJulianDate = 2440587.5;

bool IsGregorianLeap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month, bool julian) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month != 2) return kDays[month - 1];
    const bool leap = julian ? year % 4 == 0 : IsGregorianLeap(year);
    return leap ? 29 : 28;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's days_from_civil).
std::int64_t GregorianDays(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Days since 1970-01-01 of a Julian-calendar date.
std::int64_t JulianCalendarDays(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 3) / 4;
    const std::int64_t yoe = y - era * 4;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + doy;
    // 1970-01-01 Gregorian is 1969-12-19 Julian.
    return era * 1461 + doe - 719470;
}

std::optional<UtcMs> Compose(std::int64_t days, int hour, int minute, double seconds) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || !(seconds >= 0) || seconds >= 61) {
        return std::nullopt;
    }
    const double ms = std::round(seconds * 1000);
    return days * kMsPerDay + (hour * 60 + minute) * 60'000 + static_cast<std::int64_t>(ms);
}

bool ValidDate(int year, int month, int day, bool julian) {
    if (year < -100000 || year > 100000 || month < 1 || month > 12 || day < 1) return false;
    return day <= DaysInMonth(year, month, julian);
}

// Reads exactly `width` digits (or, with width 0, one or more) at `pos`.
bool Digits(std::string_view text, std::size_t& pos, std::size_t width, int& value) {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' &&
           (width == 0 || pos - start < width)) {
        ++pos;
    }
    if (pos == start || (width != 0 && pos - start != width)) return false;
    return std::from_chars(text.data() + start, text.data() + pos, value).ec == std::errc();
}

bool Take(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<UtcMs> FromGregorian(int year, int month, int day, int hour, int minute,
                                   double seconds) {
    if (!ValidDate(year, month, day, false)) return std::nullopt;
    return Compose(GregorianDays(year, month, day), hour, minute, seconds);
}

std::optional<UtcMs> FromJulianCalendar(int year, int month, int day, int hour, int minute,
                                        double seconds) {
    if (!ValidDate(year, month, day, true)) return std::nullopt;
    return Compose(JulianCalendarDays(year, month, day), hour, minute, seconds);
}

std::optional<UtcMs> FromJulianDate(double julianDate) {
    const double ms = std::round((julianDate - kUnixEpochJulianDate) * kMsPerDay);
    if (!std::isfinite(ms) || std::fabs(ms) > 9e15) return std::nullopt;
    return static_cast<UtcMs>(ms);
}

std::optional<UtcMs> ParseUtcTime(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                             text.back() == '\r')) {
        text.remove_suffix(1);
    }
    // The windows write times as "2026-12-07 16:02:45 UTC": such a text is read back.
    if (text.size() > 4 && text.substr(text.size() - 4) == " UTC") text.remove_suffix(4);
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) text.remove_suffix(1);

    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    if (!Digits(text, pos, 4, year) || !Take(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Take(text, pos, '-') || !Digits(text, pos, 2, day)) {
        return std::nullopt;
    }
    if (pos >= text.size() || (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' ')) {
        return std::nullopt;
    }
    ++pos;
    if (!Digits(text, pos, 2, hour) || !Take(text, pos, ':') || !Digits(text, pos, 2, minute)) {
        return std::nullopt;
    }
    double seconds = 0;
    if (Take(text, pos, ':')) {
        int whole = 0;
        if (!Digits(text, pos, 2, whole)) return std::nullopt;
        seconds = whole;
        if (Take(text, pos, '.')) {
            double scale = 0.1;
            const std::size_t start = pos;
            for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
                seconds += (text[pos] - '0') * scale;
                scale /= 10;
            }
            if (pos == start) return std::nullopt;
        }
        if (whole > 59) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    return FromGregorian(year, month, day, hour, minute, seconds);
}

std::string FormatUtcTime(UtcMs time) {
    std::int64_t days = time >= 0 ? time / kMsPerDay : (time - kMsPerDay + 1) / kMsPerDay;
    std::int64_t ms = time - days * kMsPerDay;
    // Hinnant's civil_from_days.
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t year = yoe + era * 400 + (month <= 2);

    const int hour = static_cast<int>(ms / 3'600'000);
    ms %= 3'600'000;
    const int minute = static_cast<int>(ms / 60'000);
    ms %= 60'000;
    char text[64];
    const int second = static_cast<int>(ms / 1000);
    const int millisecond = static_cast<int>(ms % 1000);
    // Years before 1 (astronomical numbering) keep four digits after their sign.
    const char* sign = year < 0 ? "-" : "";
    const long long digits = year < 0 ? -static_cast<long long>(year) : year;
    if (millisecond != 0) {
        std::snprintf(text, sizeof text, "%s%04lld-%02d-%02dT%02d:%02d:%02d.%03dZ", sign, digits,
                      month, day, hour, minute, second, millisecond);
    } else {
        std::snprintf(text, sizeof text, "%s%04lld-%02d-%02dT%02d:%02d:%02dZ", sign, digits, month,
                      day, hour, minute, second);
    }
    return text;
}

std::string UtcTimeText(UtcMs time) {
    std::string text = FormatUtcTime(time);
    text[text.find('T')] = ' ';
    text.back() = ' ';  // the final Z
    return text + "UTC";
}

std::string UtcClockText(UtcMs time) {
    const std::string text = FormatUtcTime(time);
    return text.substr(text.find('T') + 1, 5) + " UTC";
}

}  // namespace Pelindra::Ephemeris
