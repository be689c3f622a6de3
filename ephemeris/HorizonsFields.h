#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// Spaces, tabs and carriage returns off both ends.
std::string_view TrimBlanks(std::string_view text);

// Horizons' default "Mixed Julian/Gregorian" mode gives days before 1582-Oct-15 in the Julian
// calendar; its "Gregorian" mode uses the proleptic Gregorian calendar throughout.
enum class HorizonsCalendar { Mixed, Gregorian };

// A date as Horizons writes it ("2025-Nov-12"; "b0044-Mar-15" is 44 B.C.) and a time of day
// ("16:43", "16:43:42", "16:43:42.812"; empty for midnight). nullopt when either is malformed
// or names no day of that calendar (1582-Oct-10 in the mixed one).
[[nodiscard]] std::optional<UtcMs> ReadHorizonsDate(std::string_view date, std::string_view clock,
                                                    HorizonsCalendar calendar);

// A time zone's offset from UT as Horizons states it: "UT+03:00", "UT-07:30", "+05:30".
[[nodiscard]] std::optional<std::int64_t> ReadZoneOffsetMs(std::string_view text);

// One quantity of a row. Missing: Horizons' "n.a.", or the asterisks of a value too large for
// its column; neither is a zero.
struct HorizonsField {
    enum class Kind { Number, Missing, Unreadable };
    Kind kind = Kind::Unreadable;
    double value = 0;
};
HorizonsField ReadHorizonsField(std::string_view text);

struct RaDec {
    double raDegrees = 0;
    double decDegrees = 0;
};

// Three sexagesimal parts each ("08" "21" "29.556", "-00" "43" "53.4") or one part each in
// degrees. nullopt when they are no position on the sky.
[[nodiscard]] std::optional<RaDec> ReadRaDec(std::span<const std::string_view> ra,
                                             std::span<const std::string_view> dec);

}  // namespace Pelindra::Ephemeris
