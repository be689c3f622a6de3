#include "trackfile/TrackWriter.h"

#include "core/NumberReading.h"
#include "trackfile/Steps.h"

namespace Pelindra::TrackFile {

using namespace Core;

std::string IntervalText(std::string_view boxText) {
    const NumberScan scan = ScanNumber(boxText, DecimalMark::FullStopOrComma);
    std::string text = scan.value < 10 ? "0" : "";
    for (char c : boxText.substr(0, scan.end)) {
        if (c != ' ' && c != '\t' && c != '\n') text += c;
    }
    return text;
}

std::string_view TrackFileSeparator(std::string_view localeSeparator) {
    const bool singleAscii =
        localeSeparator.size() == 1 && static_cast<unsigned char>(localeSeparator[0]) < 0x80;
    return singleAscii ? localeSeparator : ".";
}

std::optional<std::string> TrackText(const TrackParams& params, int rowCount,
                                     std::string_view intervalText,
                                     std::string_view decimalSeparator) {
    return TrackTextFromSteps(ConstantSteps(params, rowCount), intervalText, decimalSeparator);
}

}  // namespace Pelindra::TrackFile
