// The track file writer over arbitrary parameter texts: the lines have their fixed form
// and the written steps never run a tenth of a pixel or more from the true offsets.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/StoreNumber.h"
#include "core/Validation.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/FuzzMount.h"
#include "trackfile/SaveCommand.h"
#include "trackfile/TrackWriter.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;

namespace {

class QuietUi : public SaveCommandUi {
  public:
    explicit QuietUi(std::string interval) : interval_(std::move(interval)) {}
    void ShowError(const std::string&) override {}
    void SetDeltaXCaption(const std::string&) override {}
    void SetDeltaYCaption(const std::string&) override {}
    std::optional<std::string> ChooseTrackFile(const std::string&) override { return {}; }
    bool ConfirmOverwrite() override { return false; }
    std::string TimeIntervalText() override { return interval_; }
    bool AllEntriesStored() override { return true; }

  private:
    std::string interval_;
};

bool IsStep(std::string_view text) {
    // A sign, digits, the separator, one digit.
    if (text.size() < 4 || (text[0] != '+' && text[0] != '-')) return false;
    if (text[text.size() - 2] != '.') return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        if (i != text.size() - 2 && (text[i] < '0' || text[i] > '9')) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    TrackParams params;
    QuietUi ui(input.Next());
    float* fields[] = {&params.Motion, &params.PA, &params.PixSize, &params.TotalTime};
    for (float* field : fields) {
        if (StoreNumber(input.Next(), *field, ui) != StoreResult::Stored) return 0;
    }
    if (StoreNumber(ui.TimeIntervalText(), params.TimeInterval, ui) != StoreResult::Stored) {
        return 0;
    }
    TakeMount(input, params);
    if (ValidateParams(params, ui) != ParamsCheck::Usable) return 0;

    const std::optional<std::string> text = ComposeTrackFile(params, ui, ".");
    if (!text) return 0;

    std::size_t start = 0;
    std::size_t rows = 0;
    double writtenX = 0;
    double writtenY = 0;
    const std::string interval = IntervalText(ui.TimeIntervalText());
    while (start < text->size()) {
        const std::size_t end = text->find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        const std::string_view line(text->data() + start, end - start);
        ++rows;
        // The interval field, then the two steps.
        const std::size_t ySpace = line.rfind(' ');
        FUZZ_CHECK(ySpace != std::string_view::npos && ySpace > 0);
        const std::size_t xSpace = line.rfind(' ', ySpace - 1);
        FUZZ_CHECK(xSpace != std::string_view::npos);
        const std::string_view head = line.substr(0, xSpace);
        FUZZ_CHECK(head == interval);
        const std::string_view x = line.substr(xSpace + 1, ySpace - xSpace - 1);
        const std::string_view y = line.substr(ySpace + 1);
        FUZZ_CHECK(IsStep(x) && IsStep(y));
        FUZZ_CHECK(x.substr(0, 1) == params.SignX && y.substr(0, 1) == params.SignY);
        writtenX += std::stod(std::string(x.substr(1)));
        writtenY += std::stod(std::string(y.substr(1)));
        start = end + 2;
    }
    // The running totals are singles, so each row may add half a unit in the last place
    // of the total to the drift bound of a tenth.
    const double trueX = rows * static_cast<double>(params.DeltaX);
    const double trueY = rows * static_cast<double>(params.DeltaY);
    const double slack = 1e-6 + rows * std::ldexp(std::max(trueX, trueY) + 1, -24);
    FUZZ_CHECK(std::fabs(writtenX - trueX) < 0.1 + slack);
    FUZZ_CHECK(std::fabs(writtenY - trueY) < 0.1 + slack);
    return 0;
}
