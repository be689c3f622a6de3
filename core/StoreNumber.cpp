#include "core/StoreNumber.h"

#include <optional>

#include "core/NumberReading.h"
#include "core/Rounding.h"

namespace Pelindra::Core {

StoreResult StoreNumber(std::string_view text, float& field, Messages& messages) {
    const std::optional<float> value = ToSingle(ReadTypedNumber(text));
    if (!value) {
        messages.ShowError(std::string(kOverflowMessage));
        return StoreResult::Overflow;
    }
    field = *value;
    return StoreResult::Stored;
}

}  // namespace Pelindra::Core
