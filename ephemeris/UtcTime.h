#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// A date of the proleptic Gregorian calendar and a time of day in UTC. nullopt for a date
// or time that does not exist (February 30, 25:00) or lies beyond the range of UtcMs.
std::optional<UtcMs> FromGregorian(int year, int month, int day, int hour, int minute,
                                   double seconds);

// The same for a date of the Julian calendar (Horizons' dates before 1582-Oct-15).
std::optional<UtcMs> FromJulianCalendar(int year, int month, int day, int hour, int minute,
                                        double seconds);

// A Julian date (days since -4712-01-01 12:00 UT).
std::optional<UtcMs> FromJulianDate(double julianDate);

// A time as users and scripts write it: "2026-12-07T21:30", "2026-12-07 21:30:15",
// "2025-11-12T16:43:42.812Z", "2026-12-07 21:30:15 UTC" (seconds and their fraction
// optional, a final Z or " UTC" optional).
std::optional<UtcMs> ParseUtcTime(std::string_view text);

// "2026-12-07T21:30:00Z", with milliseconds only when there are any; ParseUtcTime reads
// it back.
std::string FormatUtcTime(UtcMs time);

// The time as every window and message shows it: "2026-12-07 16:02:45 UTC", with
// milliseconds only when there are any. ParseUtcTime reads it back.
std::string UtcTimeText(UtcMs time);

// The time of day alone, to the minute, for short status texts: "21:30 UTC".
std::string UtcClockText(UtcMs time);

}  // namespace Pelindra::Ephemeris
