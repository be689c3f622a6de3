#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// Whether two lines are an MPC table's header: the column names ("Date  UT  R.A. (J2000)
// Decl. ...") and below them the units, which start with the hours of the time ("h m s").
bool IsMpcHeader(std::string_view names, std::string_view units);

enum class MpcMotion {
    Total,       // motion and P.A.
    Sky,         // R.A. motion already multiplied by cos(Decl.), and Decl. motion
    Coordinate,  // d(R.A.)/dt along the equator, and Decl. motion
};

// The two motion columns as the header places them: each value in a row overlaps its
// unit's place in the units line, whatever the width of the columns before it.
struct MpcLayout {
    MpcMotion motion = MpcMotion::Total;
    std::size_t firstBegin = 0, firstEnd = 0;
    std::size_t secondBegin = 0, secondEnd = 0;
    double firstToArcsecPerMinute = 1;   // the motion, or the R.A. motion
    double secondToArcsecPerMinute = 1;  // the Decl. motion; the P.A. is in degrees
};

// The layout, or why the header has none usable.
std::variant<MpcLayout, std::string> ReadMpcLayout(std::string_view names, std::string_view units);

enum class MpcRowState {
    Usable,
    Skipped,    // the motion is blank or an overflow mark (********)
    Short,      // the row stops before its second motion ends
    Malformed,  // a row that cannot be read: no such date, a motion that is no number
};

struct MpcRow {
    MpcRowState state = MpcRowState::Usable;
    Row row;              // the time in every state; the rates and position when usable
    std::string problem;  // what is wrong with a malformed row, UTF-8
};

// One line of the table below the header (a line of MpcPage); nullopt when it is no row
// at all (blank, a note), i.e. does not start with a date "YYYY MM DD".
std::optional<MpcRow> ReadMpcRow(std::string_view line, const MpcLayout& layout);

}  // namespace Pelindra::Ephemeris
