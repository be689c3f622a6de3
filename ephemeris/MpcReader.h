#pragma once

#include <string_view>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// Whether the text is a Minor Planet Center ephemeris service page or its copied table.
bool LooksLikeMpc(std::string_view text);

// An MPC ephemeris service table, from its HTML page or the copied text.
std::variant<Table, ReadError> ReadMpc(std::string_view text);

}  // namespace Pelindra::Ephemeris
