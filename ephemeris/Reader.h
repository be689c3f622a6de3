#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// An ephemeris larger than this is not one a night needs; reading it would only cost
// memory (a 100 000-row Horizons table with every quantity is about 40 MiB).
inline constexpr std::size_t kEphemerisSizeLimit = 64 * 1024 * 1024;

// Reads a JPL Horizons observer table (plain text, CSV or the API's JSON reply) or a
// Minor Planet Center ephemeris service table (its HTML page or the copied text), told
// apart by content, never by a file name.
std::variant<Table, ReadError> ReadEphemeris(std::string_view text);

// The same from a file; "-" is standard input. Reads at most kEphemerisSizeLimit bytes.
// A message names the file.
std::variant<Table, ReadError> ReadEphemerisFile(const std::string& path);

}  // namespace Pelindra::Ephemeris
