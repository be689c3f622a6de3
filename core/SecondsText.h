#pragma once

#include <QString>
#include <chrono>

namespace Pelindra::Core {

// A wait as messages name it: "3 s", "1.5 s", "0.25 s".
[[nodiscard]] QString SecondsText(std::chrono::milliseconds time);

}  // namespace Pelindra::Core
