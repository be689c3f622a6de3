#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "ephemeris/Table.h"

namespace Pelindra::Ephemeris {

// Whether the text is JSON, which of the ephemerides read here only the Horizons API sends.
bool LooksLikeJson(std::string_view text);

// The text of a Horizons API reply's "result" member (a plain text or CSV table, or
// Horizons' explanation of why there is none); an "error" member is Horizons' own message.
std::variant<std::string, ReadError> HorizonsJsonResult(std::string_view json);

}  // namespace Pelindra::Ephemeris
