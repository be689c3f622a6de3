#include "core/SecondsText.h"

namespace Pelindra::Core {

QString SecondsText(std::chrono::milliseconds time) {
    return QString::number(static_cast<double>(time.count()) / 1000.0, 'g', 6) + " s";
}

}  // namespace Pelindra::Core
