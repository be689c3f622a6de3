#include "ephemeris/StepText.h"

#include <cmath>
#include <utility>

namespace Pelindra::Ephemeris {

namespace {

constexpr std::int64_t kSecondMs = 1000, kMinuteMs = 60 * kSecondMs, kHourMs = 60 * kMinuteMs,
                       kDayMs = 24 * kHourMs;

std::string Counted(std::int64_t count, std::string_view unit) {
    std::string text = std::to_string(count);
    text += ' ';
    text += unit;
    if (count != 1) text += 's';
    return text;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((a[i] | 0x20) != b[i]) return false;
    }
    return true;
}

// The length of one of the unit, in ms; nullopt for a unit of no fixed length or none known.
std::optional<std::int64_t> UnitMs(std::string_view unit) {
    const std::pair<std::string_view, std::int64_t> units[] = {
        {"s", kSecondMs},       {"sec", kSecondMs},     {"secs", kSecondMs}, {"second", kSecondMs},
        {"seconds", kSecondMs}, {"m", kMinuteMs},       {"min", kMinuteMs},  {"mins", kMinuteMs},
        {"minute", kMinuteMs},  {"minutes", kMinuteMs}, {"h", kHourMs},      {"hr", kHourMs},
        {"hrs", kHourMs},       {"hour", kHourMs},      {"hours", kHourMs},  {"d", kDayMs},
        {"day", kDayMs},        {"days", kDayMs},
    };
    for (const auto& [name, ms] : units) {
        if (SameWord(unit, name)) return ms;
    }
    return std::nullopt;
}

// Horizons' steps that are no fixed length: "1 calendar months", "10 calendar years".
std::optional<std::string_view> CalendarUnit(std::string_view unit) {
    constexpr std::string_view kCalendar = "calendar ";
    if (unit.size() <= kCalendar.size() || !SameWord(unit.substr(0, kCalendar.size()), kCalendar)) {
        return std::nullopt;
    }
    unit = Trimmed(unit.substr(kCalendar.size()));
    if (SameWord(unit, "month") || SameWord(unit, "months")) return "calendar month";
    if (SameWord(unit, "year") || SameWord(unit, "years")) return "calendar year";
    return std::nullopt;
}

}  // namespace

std::string StepText(std::int64_t stepMs) {
    if (stepMs <= 0 || stepMs % kSecondMs != 0) return {};
    if (stepMs % kDayMs == 0) return Counted(stepMs / kDayMs, "day");
    if (stepMs % kHourMs == 0) return Counted(stepMs / kHourMs, "hour");
    if (stepMs % kMinuteMs == 0) return Counted(stepMs / kMinuteMs, "minute");
    return Counted(stepMs / kSecondMs, "second");
}

std::string StatedStepText(std::string_view stated) {
    const std::string_view text = Trimmed(stated);
    // A count of digits, perhaps with a fraction ("0.5 h"), then its unit with or without
    // a blank between ("10m").
    std::size_t pos = 0;
    double count = 0;
    std::size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        count = count * 10 + (text[pos++] - '0');
        ++digits;
    }
    if (pos < text.size() && text[pos] == '.') {
        double scale = 0.1;
        for (++pos; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
            count += (text[pos] - '0') * scale;
            scale /= 10;
            ++digits;
        }
    }
    if (digits == 0 || digits > 12) return std::string(text);
    if (count == 0) return {};
    const std::string_view unit = Trimmed(text.substr(pos));
    if (const auto ms = UnitMs(unit)) {
        const double total = count * static_cast<double>(*ms);
        // Some ninety million years and more would overflow the count of ms: left as stated.
        if (total < 3e18 && std::fabs(total - std::round(total)) < 1e-6) {
            const std::string words = StepText(std::llround(total));
            if (!words.empty()) return words;
        }
    } else if (const auto calendar = CalendarUnit(unit); calendar && count == std::floor(count)) {
        return Counted(static_cast<std::int64_t>(count), *calendar);
    }
    return std::string(text);
}

}  // namespace Pelindra::Ephemeris
