#pragma once

#include <optional>
#include <string>

#include "core/TrackParams.h"

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
};

// "Pelindra.ini" in the user's configuration folder for the application
// (~/.config/Pelindra/Pelindra.ini on Linux).
std::string SettingsFilePath();

namespace Functions {

// Fills the record and the main window's boxes from the settings file. A missing or
// unreadable file, section or entry, and a value that cannot be used, give the defaults.
void LoadSettings(TrackParams& params, SettingsView& view, const std::string& path);

// Writes all twelve entries in one atomic step, keeping every other line of the file.
// Returns a message naming the file and the reason when that fails.
std::optional<std::string> SaveSettings(const TrackParams& params, const SettingsView& view,
                                        const std::string& path);

}  // namespace Functions
