#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>
#include <utility>

#include "core/TrackParams.h"
#include "settings/Settings.h"
#include "solve/Calibration.h"

class QWidget;

// Calibrating the camera from a guide frame: a FITS file chosen or dropped, or the frame
// PHD2 shows. The solve runs in its own dialog over the main window.
class FrameCalibration : public QObject {
    Q_OBJECT

  public:
    struct Sources {
        // Where the frame was taken, when its header does not say.
        std::function<Pelindra::Solve::PierSide()> side;
        // RA and Dec in degrees where the telescope points, when an ephemeris says.
        std::function<std::optional<std::pair<double, double>>()> knownPosition;
        std::function<const Pelindra::Settings::Connections&()> links;
        // Apply stored new values in the record.
        std::function<void()> applied;
    };

    FrameCalibration(Pelindra::Core::TrackParams& params, Sources sources, QWidget* window);

    // `guiderAngle`: the camera angle PHD2's calibration implies, to compare.
    void calibrate(const QString& path, std::optional<double> guiderAngle = std::nullopt);
    // Asks PHD2 for the frame it shows, then calibrates from it; one request at a time.
    void fromPhd2();

  signals:
    void said(const QString& text);
    void failed(const QString& text);

  private:
    Pelindra::Core::TrackParams& params_;
    Sources sources_;
    QWidget* window_;
    bool fetching_ = false;
};
