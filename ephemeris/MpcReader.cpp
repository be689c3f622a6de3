#include "ephemeris/MpcReader.h"

namespace Pelindra::Ephemeris {

bool LooksLikeMpc(std::string_view) {
    return false;
}

std::variant<Table, ReadError> ReadMpc(std::string_view) {
    return ReadError{"reading MPC tables is not built yet", 0};
}

}  // namespace Pelindra::Ephemeris
