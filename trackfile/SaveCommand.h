#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Messages.h"
#include "core/TrackParams.h"
#include "ephemeris/Table.h"

namespace Pelindra::TrackFile {

inline constexpr std::string_view kOverwriteQuestion = "Output file exists, overwrite?";
inline constexpr std::string_view kOverwriteTitle = "Overwrite";
inline constexpr std::string_view kTooManyIntervalsMessage =
    "Too many intervals: the track would need more than 32767 lines";
inline constexpr std::string_view kTrackFileFilter = "*.trk";
inline constexpr std::string_view kTrackFileSuffix = "trk";
inline constexpr std::string_view kProposedTrackName = "Track";

// A loaded ephemeris whose changing rate the track follows, from the start of its first
// line.
struct EphemerisStart {
    const Ephemeris::Table& table;
    Ephemeris::UtcMs start;
    // For a table with rates alone: the object's declination as the user typed it.
    std::optional<double> typedDeclinationDegrees = std::nullopt;
};

// What the save command needs from the main window.
class SaveCommandUi : public Core::Messages, public Core::OffsetDisplay {
  public:
    // The save-file chooser for track files opened in `folder` (the user's home when
    // empty), proposing "Track" with the default extension "trk". nullopt when the user
    // cancels.
    virtual std::optional<std::string> ChooseTrackFile(const std::string& folder) = 0;
    // "Output file exists, overwrite?" titled "Overwrite": Yes and No, stop icon, No the
    // default. True for Yes.
    virtual bool ConfirmOverwrite() = 0;
    // The TimeInterval box's text as it stands.
    virtual std::string TimeIntervalText() = 0;
    // False while a box shows a number that could not be stored ("Overflow"), so the
    // record does not hold what the user sees.
    virtual bool AllEntriesStored() = 0;
    // The ephemeris and start time when the user chose to follow one; nullopt for a track of
    // the constant Motion and PA. Asked after the dialogs have closed; the table must stay
    // as it is until the command ends.
    virtual std::optional<EphemerisStart> FollowedEphemeris() { return std::nullopt; }
    // What the user should know of a following track just composed (how it falls short of
    // the true path), each note once; an empty list when there is nothing to say.
    virtual void ShowTrackNotes(const std::vector<std::string>& notes) { (void)notes; }
    // The track file was written, with `lines` lines.
    virtual void TrackWritten(const std::string& file, int lines) {
        (void)file;
        (void)lines;
    }
};

enum class SaveResult { Written, NotWritten };

// Intervals in the whole track: TotalTime in seconds over the interval, rounded half to
// even. nullopt (after telling the user) when it does not fit the 16-bit line counter.
[[nodiscard]] std::optional<int> RowCount(const Core::TrackParams& params,
                                          Core::Messages& messages);

// Steps of the save command after the file is chosen: row count, second validation,
// fresh offsets, and the track text itself, following the ephemeris when the user chose
// to. nullopt (after telling the user) on failure, an ephemeris that does not cover the
// whole track included.
[[nodiscard]] std::optional<std::string> ComposeTrackFile(Core::TrackParams& params,
                                                          SaveCommandUi& ui,
                                                          std::string_view decimalSeparator);

// The save command: validates, asks for the file, remembers its folder in Directory,
// asks before replacing a file, recomputes the offsets and writes the whole track file
// in one step. Every failure is told to the user; success is silent.
SaveResult SaveTrackFile(Core::TrackParams& params, SaveCommandUi& ui,
                         std::string_view decimalSeparator);

}  // namespace Pelindra::TrackFile
