#include "ephemeris/MpcColumns.h"

#include <cmath>
#include <iterator>
#include <numbers>

#include "core/NumberReading.h"
#include "ephemeris/MpcPage.h"
#include "ephemeris/TableRules.h"
#include "ephemeris/UtcTime.h"

namespace Pelindra::Ephemeris {

namespace {

// Quoted shows at most 40 bytes: no more need converting.
constexpr std::size_t kMaxQuoted = 40;

struct Token {
    std::size_t begin = 0, end = 0;
    std::size_t size() const { return end - begin; }
};

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The next blank-separated token from `pos`, which moves past it; nullopt at the end.
std::optional<Token> NextToken(std::string_view line, std::size_t& pos) {
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size()) return std::nullopt;
    Token token{pos, pos};
    while (token.end < line.size() && !IsBlank(line[token.end])) ++token.end;
    pos = token.end;
    return token;
}

std::string_view TextOf(std::string_view line, Token token) {
    return line.substr(token.begin, token.size());
}

// The token that overlaps [begin, end) of the line, if any.
std::optional<Token> TokenAt(std::string_view line, std::size_t begin, std::size_t end) {
    std::size_t at = begin;
    while (at < end && at < line.size() && IsBlank(line[at])) ++at;
    if (at >= end || at >= line.size()) return std::nullopt;
    Token token{at, at};
    while (token.begin > 0 && !IsBlank(line[token.begin - 1])) --token.begin;
    while (token.end < line.size() && !IsBlank(line[token.end])) ++token.end;
    return token;
}

std::string QuotedLine(std::string_view latin1) {
    return Quoted(MpcLineToUtf8(latin1.substr(0, 4 * kMaxQuoted)));
}

bool AllDigits(std::string_view text, std::size_t size) {
    if (text.size() != size) return false;
    for (const char c : text) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

int DigitsValue(std::string_view text) {
    int value = 0;
    for (const char c : text) value = value * 10 + (c - '0');
    return value;
}

// The service's choices of unit for motions, to arcsec per minute.
std::optional<double> RateFactor(std::string_view unit) {
    if (unit == "\"/sec") return 60.0;
    if (unit == "\"/min") return 1.0;
    if (unit == "\"/hr") return 1.0 / 60;
    if (unit == "\xB0/day" || unit == "deg/day") return 3600.0 / 1440;
    return std::nullopt;
}

// R.A. and Decl. as the service writes them, in full sexagesimal ("23 06 24.8 -05 08 06"),
// truncated ("23 06.4 -05 08") or decimal ("23.1069 -05.135") form, the Decl. always signed.
struct Position {
    double raDegrees = 0;
    double decDegrees = 0;
};

std::optional<double> Sexagesimal(std::string_view line, const Token* parts, std::size_t count,
                                  double firstLimit) {
    double value = 0;
    double scale = 1;
    for (std::size_t i = 0; i < count; ++i) {
        std::string_view text = TextOf(line, parts[i]);
        if (i == 0 && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
        const std::optional<double> part = Core::ReadExactNumber(text);
        if (!part || *part < 0 || *part >= (i == 0 ? firstLimit : 60)) return std::nullopt;
        value += *part / scale;
        scale *= 60;
    }
    return value;
}

std::optional<Position> ReadPosition(std::string_view line, std::size_t pos) {
    Token ra[3];
    std::size_t raCount = 0;
    std::optional<Token> token = NextToken(line, pos);
    while (token && raCount < 3 && line[token->begin] != '+' && line[token->begin] != '-') {
        ra[raCount++] = *token;
        token = NextToken(line, pos);
    }
    if (raCount == 0 || !token || (line[token->begin] != '+' && line[token->begin] != '-')) {
        return std::nullopt;
    }
    Token dec[3] = {*token};
    for (std::size_t i = 1; i < raCount; ++i) {
        const std::optional<Token> next = NextToken(line, pos);
        if (!next) return std::nullopt;
        dec[i] = *next;
    }
    const std::optional<double> hours = Sexagesimal(line, ra, raCount, 24);
    const std::optional<double> degrees = Sexagesimal(line, dec, raCount, 91);
    if (!hours || !degrees || *degrees > 90) return std::nullopt;
    const bool south = line[dec[0].begin] == '-';
    return Position{*hours * 15, south ? -*degrees : *degrees};
}

enum class Field { Number, Overflow, Unreadable };

struct Value {
    Field field = Field::Unreadable;
    double number = 0;
};

Value ReadField(std::string_view text) {
    if (text.find('*') != std::string_view::npos) return {Field::Overflow, 0};
    const std::optional<double> number = Core::ReadExactNumber(text);
    if (number && std::isfinite(*number)) return {Field::Number, *number};
    return {};
}

// The first motion may fill its column so that it touches the magnitude before it
// ("15.011188.96"); the service prints magnitudes with one decimal, which is where they end.
Value ReadFirstMotion(std::string_view text) {
    const Value whole = ReadField(text);
    if (whole.field != Field::Unreadable) return whole;
    std::size_t point = text.find('.');
    std::size_t digits = text.front() == '-' || text.front() == '+' ? 1 : 0;
    if (point == std::string_view::npos || point <= digits || point + 2 >= text.size()) return {};
    for (; digits < point; ++digits) {
        if (!IsDigit(text[digits])) return {};
    }
    if (!IsDigit(text[point + 1])) return {};
    return ReadField(text.substr(point + 2));
}

MpcRow Malformed(Row row, std::string problem) {
    return {MpcRowState::Malformed, row, std::move(problem)};
}

}  // namespace

bool IsMpcHeader(std::string_view names, std::string_view units) {
    std::size_t pos = 0;
    std::optional<Token> token = NextToken(names, pos);
    if (!token || TextOf(names, *token) != "Date") return false;
    // "UT", "R.A." and "Decl." in this order, whatever blanks stand between them.
    constexpr std::string_view kNames[] = {"UT", "R.A.", "Decl."};
    std::size_t found = 0;
    while (found < std::size(kNames) && (token = NextToken(names, pos))) {
        if (TextOf(names, *token) == kNames[found]) ++found;
    }
    if (found < std::size(kNames)) return false;
    pos = 0;
    const std::optional<Token> hours = NextToken(units, pos);
    return hours && TextOf(units, *hours) == "h" && hours->begin > 0;
}

std::variant<MpcLayout, std::string> ReadMpcLayout(std::string_view names, std::string_view units) {
    std::size_t pos = 0;
    std::optional<Token> first;
    std::optional<double> firstFactor;
    while ((first = NextToken(units, pos))) {
        if ((firstFactor = RateFactor(TextOf(units, *first)))) break;
    }
    if (!first) {
        return std::string(
            "the MPC table has no motion column in \"/sec, \"/min, \"/hr or \xC2\xB0/day");
    }
    const std::optional<Token> second = NextToken(units, pos);
    const std::optional<double> secondFactor =
        second ? RateFactor(TextOf(units, *second)) : std::nullopt;
    const bool positionAngle = second && TextOf(units, *second) == "P.A.";
    if (!secondFactor && !positionAngle) {
        return "the MPC table's motion in " + QuotedLine(TextOf(units, *first)) +
               " is followed by neither a second motion nor a P.A.";
    }

    // The heading above the units tells sky motions from coordinate motions; a heading
    // elsewhere means the spacing was lost on the way, and with it every column.
    bool coordinate = false;
    bool above = false;
    for (std::size_t at = names.find("Motion"); at != std::string_view::npos && !above;
         at = names.find("Motion", at + 1)) {
        const std::size_t end = at + 6;
        std::size_t begin = at;
        coordinate = at >= 6 && names.substr(at - 6, 6) == "Coord ";
        if (coordinate) begin = at - 6;
        if (at >= 4 && names.substr(at - 4, 4) == "Sky ") begin = at - 4;
        above = begin < second->end && first->begin < end;
    }
    if (!above) {
        return std::string(
            "the MPC table's motion heading does not stand above its units: copy the table "
            "with its spacing");
    }

    MpcLayout layout;
    layout.motion = positionAngle ? MpcMotion::Total
                    : coordinate  ? MpcMotion::Coordinate
                                  : MpcMotion::Sky;
    layout.firstBegin = first->begin;
    layout.firstEnd = first->end;
    layout.secondBegin = second->begin;
    layout.secondEnd = second->end;
    layout.firstToArcsecPerMinute = *firstFactor;
    layout.secondToArcsecPerMinute = secondFactor.value_or(1);
    return layout;
}

std::optional<MpcRow> ReadMpcRow(std::string_view line, const MpcLayout& layout) {
    std::size_t pos = 0;
    const std::optional<Token> year = NextToken(line, pos);
    const std::optional<Token> month = NextToken(line, pos);
    const std::optional<Token> day = NextToken(line, pos);
    if (!year || !month || !day || !AllDigits(TextOf(line, *year), 4) ||
        !AllDigits(TextOf(line, *month), 2) || !AllDigits(TextOf(line, *day), 2)) {
        return std::nullopt;
    }

    Row row;
    const std::optional<Token> clock = NextToken(line, pos);
    const std::string_view hms = clock ? TextOf(line, *clock) : std::string_view();
    if (!AllDigits(hms, 2) && !AllDigits(hms, 4) && !AllDigits(hms, 6)) {
        return Malformed(row, "no time of day (hhmmss, hhmm or hh) after the date " +
                                  QuotedLine(line.substr(year->begin, day->end - year->begin)));
    }
    const std::optional<UtcMs> time =
        FromGregorian(DigitsValue(TextOf(line, *year)), DigitsValue(TextOf(line, *month)),
                      DigitsValue(TextOf(line, *day)), DigitsValue(hms.substr(0, 2)),
                      hms.size() >= 4 ? DigitsValue(hms.substr(2, 2)) : 0,
                      hms.size() >= 6 ? DigitsValue(hms.substr(4, 2)) : 0);
    if (!time) {
        return Malformed(row, "no such date or time " +
                                  QuotedLine(line.substr(year->begin, clock->end - year->begin)));
    }
    row.time = *time;

    // The motions end where their units do, give or take a column: a row that stops
    // before may have lost its last digits.
    const std::size_t used = line.find_last_not_of(' ');
    if (used == std::string_view::npos || used + 2 < layout.secondEnd) {
        return MpcRow{MpcRowState::Short, row, {}};
    }

    const std::optional<Token> first = TokenAt(line, layout.firstBegin, layout.firstEnd);
    const std::optional<Token> second = TokenAt(line, layout.secondBegin, layout.secondEnd);
    if (!first || !second) return MpcRow{MpcRowState::Skipped, row, {}};
    if (first->end > layout.secondBegin || second->begin < layout.firstEnd) {
        return Malformed(row,
                         "the motions run into each other: " +
                             QuotedLine(line.substr(first->begin, second->end - first->begin)));
    }
    const Value a = ReadFirstMotion(TextOf(line, *first));
    const Value b = ReadField(TextOf(line, *second));
    if (a.field == Field::Overflow || b.field == Field::Overflow) {
        return MpcRow{MpcRowState::Skipped, row, {}};
    }
    if (a.field == Field::Unreadable || b.field == Field::Unreadable) {
        const Token bad = a.field == Field::Unreadable ? *first : *second;
        return Malformed(row, "no number in the motion column: " + QuotedLine(TextOf(line, bad)));
    }

    const std::optional<Position> position = ReadPosition(line, pos);
    if (position) {
        row.raDegrees = position->raDegrees;
        row.decDegrees = position->decDegrees;
    }
    constexpr double kRadiansPerDegree = std::numbers::pi / 180;
    switch (layout.motion) {
        case MpcMotion::Total: {
            const double motion = a.number * layout.firstToArcsecPerMinute;
            if (motion < 0 || b.number < 0 || b.number > 360) {
                return Malformed(
                    row, "a motion below zero or a P.A. outside 0 to 360: " +
                             QuotedLine(line.substr(first->begin, second->end - first->begin)));
            }
            row.eastArcsecPerMinute = motion * std::sin(b.number * kRadiansPerDegree);
            row.northArcsecPerMinute = motion * std::cos(b.number * kRadiansPerDegree);
            break;
        }
        case MpcMotion::Sky:
            row.eastArcsecPerMinute = a.number * layout.firstToArcsecPerMinute;
            row.northArcsecPerMinute = b.number * layout.secondToArcsecPerMinute;
            break;
        case MpcMotion::Coordinate:
            // d(R.A.)/dt is a rate along the equator; on the sky it shrinks with cos(Decl.).
            if (!position) {
                return Malformed(row,
                                 "a coordinate motion needs the row's Decl., which is "
                                 "unreadable");
            }
            row.eastArcsecPerMinute = a.number * layout.firstToArcsecPerMinute *
                                      std::cos(position->decDegrees * kRadiansPerDegree);
            row.northArcsecPerMinute = b.number * layout.secondToArcsecPerMinute;
            break;
    }
    if (!std::isfinite(row.eastArcsecPerMinute) || !std::isfinite(row.northArcsecPerMinute)) {
        return Malformed(row,
                         "a motion beyond any object's: " +
                             QuotedLine(line.substr(first->begin, second->end - first->begin)));
    }
    return MpcRow{MpcRowState::Usable, row, {}};
}

}  // namespace Pelindra::Ephemeris
