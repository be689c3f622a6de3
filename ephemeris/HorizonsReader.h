#pragma once

#include <string_view>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// Whether the text is a Horizons observer table or an API reply (JSON).
bool LooksLikeHorizons(std::string_view text);

// A Horizons observer table in plain text or CSV, or the API's JSON reply holding one.
std::variant<Table, ReadError> ReadHorizons(std::string_view text);

}  // namespace Pelindra::Ephemeris
