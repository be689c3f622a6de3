#include "ephemeris/HorizonsReader.h"

namespace Pelindra::Ephemeris {

bool LooksLikeHorizons(std::string_view text) {
    return text.find("$$SOE") != std::string_view::npos;
}

std::variant<Table, ReadError> ReadHorizons(std::string_view) {
    return ReadError{"reading Horizons tables is not built yet", 0};
}

}  // namespace Pelindra::Ephemeris
