#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// A piece of a row in quotes for a message: enough to find it, never a whole runaway line.
std::string Quoted(std::string_view text);

// Puts the rows and the holes in time order. Two rows at one time must agree: the message
// names the time when they do not (or when one of them has no rate).
[[nodiscard]] std::optional<std::string> PutInTimeOrder(Table& table);

// The observer as a table names it, in the words Pelindra uses: Horizons' "GEOCENTRIC" and
// the MPC's "the geocenter" are both "the geocentre"; any other site as named.
std::string SiteText(std::string_view named);

// What to tell of a table whose text ended inside a row: where the table now stops.
std::string CutShortNote(const Table& table);

}  // namespace Pelindra::Ephemeris
