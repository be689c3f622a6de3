#include "trackfile/TrackWriter.h"

#include "core/DisplayPattern.h"
#include "core/NumberReading.h"
#include "core/Rounding.h"

namespace Pelindra::TrackFile {

using namespace Core;

namespace {

// One axis of the running-error correction. Totals and outs are singles; every sum is
// done in double and rounded to single when stored, the thresholds are the single 0.1,
// the correction the double 0.1.
class Axis {
  public:
    explicit Axis(float delta)
        : delta_(delta), step_(static_cast<float>(RoundHalfEven(delta_ * 10) / 10)) {}

    // The step to write in the next row; false when a total leaves single range.
    bool Next(float& out) {
        const auto trueTotal = ToSingle(static_cast<double>(trueTotal_) + delta_);
        const auto written = ToSingle(static_cast<double>(writtenTotal_) + step_);
        if (!trueTotal || !written) return false;
        trueTotal_ = *trueTotal;
        writtenTotal_ = *written;
        out = step_;

        // Both totals fit a float and stay within a step of each other, so d does too.
        const auto d = static_cast<float>(static_cast<double>(writtenTotal_) - trueTotal_);
        if (d >= 0.1f) {
            out = static_cast<float>(static_cast<double>(out) - 0.1);
            writtenTotal_ = static_cast<float>(static_cast<double>(writtenTotal_) - 0.1);
        } else if (d <= -0.1f) {
            out = static_cast<float>(static_cast<double>(out) + 0.1);
            writtenTotal_ = static_cast<float>(static_cast<double>(writtenTotal_) + 0.1);
        }
        return true;
    }

  private:
    double delta_;
    float step_;
    float trueTotal_ = 0;
    float writtenTotal_ = 0;
};

}  // namespace

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
    Axis x(params.DeltaX);
    Axis y(params.DeltaY);
    std::string text;
    if (rowCount > 0) {
        text.reserve(static_cast<std::size_t>(rowCount) * (intervalText.size() + 16));
    }
    for (int row = 1; row <= rowCount; ++row) {
        float xOut = 0;
        float yOut = 0;
        if (!x.Next(xOut) || !y.Next(yOut)) return std::nullopt;
        text.append(intervalText);
        text += ' ';
        text += params.SignX;
        AppendMagnitude(text, xOut, 1, decimalSeparator);
        text += ' ';
        text += params.SignY;
        AppendMagnitude(text, yOut, 1, decimalSeparator);
        text += "\r\n";
    }
    return text;
}

}  // namespace Pelindra::TrackFile
