#include "core/StoreNumber.h"

#include <optional>

#include "core/NumberReading.h"
#include "core/Rounding.h"

bool StoreNumber(std::string_view text, float& field, Messages& messages) {
    const std::optional<float> value = ToSingle(ReadNumber(text));
    if (!value) {
        messages.ShowError(std::string(kOverflowMessage));
        return false;
    }
    field = *value;
    return true;
}
