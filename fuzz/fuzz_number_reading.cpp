// The number-reading rule over arbitrary text.
#include <cmath>

#include "core/NumberReading.h"
#include "fuzz/FuzzInput.h"

using namespace Pelindra::Core;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const NumberScan scan = ScanNumber(text);

    FUZZ_CHECK(scan.end <= text.size());
    FUZZ_CHECK(!std::isnan(scan.value));
    if (!scan.found) {
        FUZZ_CHECK(scan.value == 0);
        FUZZ_CHECK(!IsWholeNumber(text));
        return 0;
    }
    // The number is its own leading part: reading just that part gives the same value.
    const NumberScan prefix = ScanNumber(text.substr(0, scan.end));
    FUZZ_CHECK(prefix.found && prefix.end == scan.end);
    FUZZ_CHECK(std::signbit(prefix.value) == std::signbit(scan.value));
    FUZZ_CHECK(prefix.value == scan.value);
    FUZZ_CHECK(IsWholeNumber(text.substr(0, scan.end)));
    return 0;
}
