#include "trackfile/SaveCommand.h"

#include <QFileInfo>

#include "core/AtomicFile.h"
#include "core/Offsets.h"
#include "core/Rounding.h"
#include "core/Validation.h"
#include "trackfile/FileExists.h"
#include "trackfile/TrackWriter.h"

namespace Functions {

namespace {

// Intervals in the whole track, or nullopt (after telling the user) when the count does
// not fit the 16-bit line counter.
std::optional<int> RowCount(const TrackParams& params, Messages& messages) {
    const double rows =
        static_cast<double>(params.TotalTime) * 60 / static_cast<double>(params.TimeInterval);
    const std::optional<std::int16_t> count = ToInt16HalfEven(rows);
    if (!count) {
        messages.ShowError(std::string(rows > 0 ? kTooManyIntervalsMessage : kOverflowMessage));
        return std::nullopt;
    }
    return *count;
}

}  // namespace

std::optional<std::string> ComposeTrackFile(TrackParams& params, SaveCommandUi& ui,
                                            std::string_view decimalSeparator) {
    // Read after the dialogs have closed, so the latest applied setup counts.
    const std::optional<int> rows = RowCount(params, ui);
    if (!rows) return std::nullopt;
    if (ValidateParams(params, ui)) return std::nullopt;
    if (!UpdateOffsets(params, ui, ui, decimalSeparator)) return std::nullopt;

    std::optional<std::string> text =
        TrackText(params, *rows, IntervalText(ui.TimeIntervalText()), decimalSeparator);
    if (!text) ui.ShowError(std::string(kOverflowMessage));
    return text;
}

bool SaveTrackFile(TrackParams& params, SaveCommandUi& ui, std::string_view decimalSeparator) {
    if (ValidateParams(params, ui)) return false;

    const std::optional<std::string> fileName = ui.ChooseTrackFile(params.Directory);
    if (!fileName) return false;
    // Remembered before any further test, so even a declined overwrite keeps the folder.
    params.Directory = QFileInfo(QString::fromStdString(*fileName)).absolutePath().toStdString();

    if (FileExists(*fileName) && !ui.ConfirmOverwrite()) return false;

    const std::optional<std::string> text = ComposeTrackFile(params, ui, decimalSeparator);
    if (!text) return false;
    if (const auto error = WriteFileAtomically(*fileName, *text)) {
        ui.ShowError("Cannot write the track file \"" + *fileName + "\": " + *error);
        return false;
    }
    return true;
}

}  // namespace Functions
