#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Pelindra::Ephemeris {

// A moment in UTC: milliseconds since 1970-01-01 00:00:00 UTC.
using UtcMs = std::int64_t;

// One usable row of an ephemeris: its time and the object's apparent motion on the sky.
struct Row {
    UtcMs time = 0;
    double eastArcsecPerMinute = 0;   // along RA, already multiplied by cos(Dec)
    double northArcsecPerMinute = 0;  // along Dec
    std::optional<double> raDegrees;  // kept when the table gives them
    std::optional<double> decDegrees;
};

enum class Format { HorizonsText, HorizonsCsv, HorizonsJson, MpcService };

// What an ephemeris holds once read: the rows with a usable rate, in time order, and what
// the table says about itself, for display.
struct Table {
    Format format = Format::HorizonsText;
    std::string target;  // "Target body name", or the MPC's designation line
    std::string site;    // "Center-site name", or the MPC's observatory, in SiteText's words
    std::string step;    // in StepText's words ("3 minutes", "1 day"); empty when not stated
    std::vector<Row> rows;
    // Times of the rows the table lists without a usable rate (a motion of "********" or
    // "n.a."), in time order: no rate exists between such a row and its neighbours.
    std::vector<UtcMs> holes;
    // The text ended inside a row: the table stops at the last complete row before it.
    bool cutShort = false;
    // The rows' positions are apparent, of date, as Horizons' rates are; otherwise they are
    // astrometric (ICRF, J2000), as Horizons' quantity 1 and the MPC's are.
    bool apparentPositions = false;
};

struct ReadError {
    std::string message;
    int line = 0;  // 1-based line of the text at fault; 0 when no one line is
};

// What every reader says of a text that holds no table it knows.
inline constexpr std::string_view kNoTableFound =
    "no ephemeris table found: expected a Horizons table with the lines that mark its start and "
    "end, or an MPC table";

}  // namespace Pelindra::Ephemeris
