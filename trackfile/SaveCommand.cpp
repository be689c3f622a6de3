#include "trackfile/SaveCommand.h"

#include <QFileInfo>
#include <algorithm>

#include "core/AtomicFile.h"
#include "core/Offsets.h"
#include "core/Rounding.h"
#include "core/Utf8.h"
#include "core/Validation.h"
#include "trackfile/FileExists.h"
#include "trackfile/Steps.h"
#include "trackfile/TrackWriter.h"

namespace Pelindra::TrackFile {

using namespace Core;

namespace {

constexpr std::string_view kUnusableFolderMessage =
    "The folder remembered for track files is not a valid file name here; the file chooser "
    "starts in your home folder instead.";

}  // namespace

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

std::optional<std::string> ComposeTrackFile(TrackParams& params, SaveCommandUi& ui,
                                            std::string_view decimalSeparator) {
    // Read after the dialogs have closed, so the latest applied setup counts.
    const std::optional<int> rows = RowCount(params, ui);
    if (!rows) return std::nullopt;
    if (ValidateAndUpdate(params, ui, ui, decimalSeparator) != UpdateResult::Shown) {
        return std::nullopt;
    }
    const std::string interval = IntervalText(ui.TimeIntervalText());
    const std::string_view separator = TrackFileSeparator(decimalSeparator);
    std::optional<std::string> text;
    if (const std::optional<EphemerisStart> followed = ui.FollowedEphemeris()) {
        const auto track = FollowEphemeris(followed->table, followed->start, params, *rows,
                                           followed->typedDeclinationDegrees);
        if (const auto* problem = std::get_if<std::string>(&track)) {
            ui.ShowError(*problem);
            return std::nullopt;
        }
        ui.ShowTrackNotes(std::get<FollowingTrack>(track).notes);
        text = TrackTextOf(std::get<FollowingTrack>(track), interval, separator);
    } else {
        text = TrackText(params, *rows, interval, separator);
    }
    if (!text) ui.ShowError(std::string(kOverflowMessage));
    return text;
}

SaveResult SaveTrackFile(TrackParams& params, SaveCommandUi& ui,
                         std::string_view decimalSeparator) {
    // A box that shows a number the record could not take would write a track for
    // another value than the one on the screen.
    if (!ui.AllEntriesStored()) {
        ui.ShowError(std::string(kOverflowMessage));
        return SaveResult::NotWritten;
    }
    if (ValidateParams(params, ui) == ParamsCheck::Unusable) return SaveResult::NotWritten;

    // A following track the ephemeris cannot give is refused before a file is chosen.
    if (const std::optional<EphemerisStart> followed = ui.FollowedEphemeris()) {
        const std::optional<int> rows = RowCount(params, ui);
        if (!rows) return SaveResult::NotWritten;
        if (const auto problem =
                FollowingCoverageProblem(followed->table, followed->start, params, *rows)) {
            ui.ShowError(*problem);
            return SaveResult::NotWritten;
        }
    }

    std::string folder = params.Directory;
    if (!IsValidUtf8(folder)) {
        ui.ShowError(std::string(kUnusableFolderMessage));
        folder.clear();
    }
    const std::optional<std::string> fileName = ui.ChooseTrackFile(folder);
    if (!fileName) return SaveResult::NotWritten;
    // Remembered before any further test, so even a declined overwrite keeps the folder.
    params.Directory = QFileInfo(QString::fromStdString(*fileName)).absolutePath().toStdString();

    if (FileExists(*fileName) && !ui.ConfirmOverwrite()) return SaveResult::NotWritten;

    const std::optional<std::string> text = ComposeTrackFile(params, ui, decimalSeparator);
    if (!text) return SaveResult::NotWritten;
    if (const auto error = WriteFileAtomically(*fileName, *text)) {
        ui.ShowError("Cannot write the track file \"" + *fileName + "\": " + *error);
        return SaveResult::NotWritten;
    }
    ui.TrackWritten(*fileName, static_cast<int>(std::count(text->begin(), text->end(), '\n')));
    return SaveResult::Written;
}

}  // namespace Pelindra::TrackFile
