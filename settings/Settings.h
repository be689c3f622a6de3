#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/TrackParams.h"

namespace Pelindra::Settings {

// The ephemeris last used and the time chosen in it, kept in a section of their own
// ("[Ephemeris]", entries "File" and "Time") that only a program using one ever writes.
struct EphemerisMemory {
    std::string file;  // empty when the table came from the clipboard or a drop of text
    std::string time;  // UTC, as FormatUtcTime writes it; empty for "now"
};

// Choices kept in sections of their own: [Ephemeris] Follow, [Camera] Sensor Width and
// Sensor Height, [View] Night Mode. An entry is written only when the file already holds
// it or its value differs from the default, so a user who never makes a choice keeps the
// file as it was.
// Where the guider and the mount are reached; the defaults are PHD2's and INDI's own. No
// connection is opened until the user asks for one.
struct Connections {
    std::string phd2Host = "localhost";
    int phd2Port = 4400;
    bool phd2SkyAxes = false;  // RA/Dec in arcsec/hr rather than the camera's X/Y in px/hr
    std::string indiHost = "localhost";
    int indiPort = 7624;
    std::string indiDevice;  // empty until the user picks one
    // Custom tracking sends the Dec rate reversed on that side of the pier.
    bool decRateReversedEast = false;
    bool decRateReversedWest = false;

    // Whether the user chose an INDI server: the mount's declination is then asked for when
    // the object's is not known.
    [[nodiscard]] bool IndiChosen() const {
        return indiHost != "localhost" || indiPort != 7624 || !indiDevice.empty();
    }
    bool operator==(const Connections&) const = default;
};

struct Preferences {
    Connections connections;
    bool followEphemeris = false;
    int sensorWidthPixels = 0;  // 0: no sensor size set
    int sensorHeightPixels = 0;
    bool nightMode = false;
};

// The main window's controls that loading and saving the settings touch.
class SettingsView {
  public:
    virtual ~SettingsView() = default;
    // Writing a text or selecting a button runs that control's own change handling at once.
    virtual void SetMotionText(const std::string& text) = 0;
    virtual void SetPAText(const std::string& text) = 0;
    virtual void SetTimeIntervalText(const std::string& text) = 0;
    virtual void SetWestValue(bool selected) = 0;
    virtual void SetEastValue(bool selected) = 0;
    virtual std::string MotionText() const = 0;
    virtual std::string PAText() const = 0;
    // Called only when the file holds the section.
    virtual void SetEphemerisMemory(const EphemerisMemory&) {}
    // Written only when there is one, so a file of a user who never loads an ephemeris
    // keeps its twelve entries alone.
    virtual std::optional<EphemerisMemory> EphemerisMemoryToSave() const { return std::nullopt; }
    // Called on every load, with the defaults for entries the file lacks.
    virtual void SetPreferences(const Preferences&) {}
    // nullopt leaves the file's own entries as they are.
    virtual std::optional<Preferences> PreferencesToSave() const { return std::nullopt; }
};

// "Pelindra.ini" in the user's configuration folder for the application
// (~/.config/Pelindra/Pelindra.ini on Linux).
std::string SettingsFilePath();

// Fills the record and the main window's boxes from the settings file; the camera angle
// comes from [Camera] Angle (0 when absent). A missing file,
// section or entry, and a value that cannot be used, give the defaults; an interval that
// is not positive is repaired to 1, as the box repairs it. When something that is not a
// usable settings file stands in its place (a folder, a pipe, a device, an unreadable or
// oversized file), everything takes its default and the message to tell the user is
// returned: that file must then not be replaced when the program closes.
[[nodiscard]] std::optional<std::string> LoadSettings(Core::TrackParams& params, SettingsView& view,
                                                      const std::string& path);

// Writes all twelve entries in one atomic step, keeping every other line of the file. A
// lock file beside it keeps two copies of the program closing at once from mixing their
// read and write; the last to close still wins. Returns a message naming the file and
// the reason when that fails.
[[nodiscard]] std::optional<std::string> SaveSettings(const Core::TrackParams& params,
                                                      const SettingsView& view,
                                                      const std::string& path);

// Changes the record as the file holds it and writes it back, the lock held from the read
// through the write, so no other copy's save falls between them. Every entry the change
// leaves alone is written back as the window's own load and save would. A file that cannot be
// used as a settings file is not replaced: its message is returned.
[[nodiscard]] std::optional<std::string> UpdateSettings(
    const std::string& path, const std::function<void(Core::TrackParams&)>& change);

}  // namespace Pelindra::Settings
