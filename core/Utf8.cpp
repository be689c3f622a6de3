#include "core/Utf8.h"

#include <cstdint>

namespace Pelindra::Core {

bool IsValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        std::size_t length = 1;
        std::uint32_t code = lead;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        } else if (lead >= 0xE0) {
            if (lead > 0xEF) return false;
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xC2) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0x80) {
            return false;  // a continuation byte, or an overlong two-byte lead
        }
        if (bytes.size() - i < length) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(bytes[i + k]);
            if ((next & 0xC0u) != 0x80u) return false;
            code = (code << 6) | (next & 0x3Fu);
        }
        const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (overlong || surrogate || code > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

}  // namespace Pelindra::Core
