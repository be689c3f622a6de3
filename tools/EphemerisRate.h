#pragma once

#include <optional>
#include <string>
#include <variant>

#include "ephemeris/Rate.h"

// The ephemeris in `file` ("-": standard input). A table whose text seems cut is still used,
// and said on standard error. On failure, a message naming the file.
std::variant<Pelindra::Ephemeris::Table, std::string> ReadToolEphemeris(const std::string& file);

// The rate the ephemeris in `file` ("-": standard input) gives at `time` (now when none).
// On failure, a message naming the file (and the line at fault) or the time asked.
std::variant<Pelindra::Ephemeris::Rate, std::string> EphemerisRate(
    const std::string& file, std::optional<Pelindra::Ephemeris::UtcMs> time);

// "1.899184 87.2834": the motion in arcsec per minute to six decimals and the position
// angle in degrees to four, with a full stop whatever the locale, for scripts.
std::string RateLine(double motionArcsecPerMinute, double positionAngleDegrees);
