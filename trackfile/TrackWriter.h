#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/TrackParams.h"

namespace Pelindra::TrackFile {

// The interval field of every line: the numeric part of the TimeInterval box's text (what
// the box reads as its number), blanks removed, with a "0" in front when its value is
// below 10 (5 gives 05, 0.5 gives 00.5). Anything else in the box (a unit, a line break)
// never reaches the file, so a line always holds exactly three fields.
std::string IntervalText(std::string_view boxText);

// The decimal separator of a track file, which is single-byte text: the locale's when it
// is one ASCII character, the full stop otherwise (Arabic and Persian locales).
std::string_view TrackFileSeparator(std::string_view localeSeparator);

// The track file for `rowCount` intervals from the offsets last computed into `params`:
// each line is the interval text, the signed X step and the signed Y step to a tenth of a
// pixel, ended by CR LF, with the rounding error carried so the written totals never run
// a tenth or more from the true ones. Empty for a row count below 1; nullopt when a running
// total overflows single precision.
std::optional<std::string> TrackText(const Core::TrackParams& params, int rowCount,
                                     std::string_view intervalText,
                                     std::string_view decimalSeparator);

}  // namespace Pelindra::TrackFile
