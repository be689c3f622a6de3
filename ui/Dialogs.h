#pragma once

#include <QString>
#include <optional>

class QWidget;

// The modal boxes and the file chooser the windows use; tests replace them.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // Titled "ERROR", the text, only OK, no icon.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // "Output file exists, overwrite?" titled "Overwrite": Yes/No, stop icon, No default.
    virtual bool ConfirmOverwrite(QWidget* parent) = 0;
    // Save-file chooser for track files in `folder`, proposing "Track" with the default
    // extension "trk"; nullopt when cancelled.
    virtual std::optional<QString> ChooseTrackFile(QWidget* parent, const QString& folder) = 0;
    // Open-file chooser for an ephemeris (any file: the reader knows the formats by their
    // content) in `folder`; nullopt when cancelled.
    virtual std::optional<QString> ChooseEphemerisFile(QWidget* parent, const QString& folder) = 0;
    // Asks for a JPL Horizons query, fetches it, saves the reply as a file in `folder` (or
    // where the user picks) and returns that file; nullopt when cancelled or failed, after
    // the dialog has said why.
    virtual std::optional<QString> FetchFromHorizons(QWidget* parent, const QString& folder) = 0;
    // Save-file chooser for a picture of the track's path in `folder`, proposing
    // "Track.png" and offering PNG and SVG; the chooser asks before replacing a file.
    // nullopt when cancelled.
    virtual std::optional<QString> ChooseImageFile(QWidget* parent, const QString& folder) = 0;
    // Open-file chooser for a guide frame (FITS) in `folder`; nullopt when cancelled.
    virtual std::optional<QString> ChooseFrameFile(QWidget*, const QString&) {
        return std::nullopt;
    }
};
