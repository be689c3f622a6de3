#pragma once

#include <cstdint>
#include <string>

namespace Pelindra::Core {

// How the program writes a number as text (settings file, setup dialog, repaired
// interval): a blank before a value that is not negative, "-" before a negative one;
// floats rounded to seven significant digits (halves away from zero), trailing zeros and
// a bare point dropped; "." in every locale; exponent form from 1E+07 up and below 1E-04.
std::string NumberText(float value);

// 16-bit whole numbers keep all their digits.
std::string NumberText(std::int16_t value);

}  // namespace Pelindra::Core
