// Number text read back with the number-reading rule gives the same float whenever the
// float came from a decimal of at most six significant digits.
#include <cstring>
#include <string>

#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/Rounding.h"
#include "fuzz/FuzzInput.h"

using namespace Pelindra::Core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::uint32_t mantissa = 0;
    for (int i = 0; i < 3; ++i) mantissa = mantissa << 8 | input.Byte();
    mantissa %= 1000000;
    const int exponent = static_cast<int>(input.Byte() % 96) - 52;  // 1E-52 .. 1E+43
    const bool negative = input.Byte() & 1;

    const std::string decimal =
        (negative ? "-" : "") + std::to_string(mantissa) + "E" + std::to_string(exponent);
    const auto value = ToSingle(ReadNumber(decimal));
    if (!value) return 0;  // beyond single range: never stored

    const std::string text = NumberText(*value);
    const auto back = ToSingle(ReadNumber(text));
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(std::memcmp(&*back, &*value, sizeof(float)) == 0 || (*value == 0 && *back == 0));
    FUZZ_CHECK(IsWholeNumber(text));
    return 0;
}
