#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <optional>

#include "core/TrackParams.h"
#include "solve/Calibration.h"
#include "solve/FitsFrame.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;

namespace Pelindra::Solve {
class PlateSolver;
}

// Calibrates the guide camera from one frame: solves it in the background (with a count of
// the seconds and Cancel), then shows the frame with sky north and east drawn from the
// solution, its centre, field, scale, angle and mirror. Apply writes the pixel size, the
// camera angle and the reversal flags for the side of the pier chosen; nothing is written
// before. Deletes itself when closed.
class CalibrateDialog : public QDialog {
    Q_OBJECT

  public:
    // `side`: where the frame was taken, when something other than the frame knows
    // (the mount, else the main window's East/West). `applied` runs after Apply wrote.
    CalibrateDialog(Pelindra::Core::TrackParams& params, Pelindra::Solve::Frame frame,
                    const QString& frameName, Pelindra::Solve::PierSide side,
                    std::function<void()> applied, QWidget* parent = nullptr);
    ~CalibrateDialog() override;

    // The camera angle the guider's own calibration implies: a solution more than 5
    // degrees from it is pointed out.
    void SetGuiderCameraAngle(double degrees) { guiderAngle_ = degrees; }
    // Where the telescope points, as far as the window knows (the loaded ephemeris): the
    // solver searches near it when the frame's header names no position.
    void SetKnownPosition(double raDegrees, double decDegrees) {
        knownRa_ = raDegrees;
        knownDec_ = decDegrees;
    }
    // Starts the solve; the hint is the current pixel size unless the frame has its own.
    void Start();
    [[nodiscard]] const std::optional<Pelindra::Solve::Calibration>& Solution() const {
        return calibration_;
    }

  public slots:
    // Escape and Cancel stop a solve under way and close the dialog.
    void reject() override;

  signals:
    // The solve ended: the result is shown, or the reason.
    void finished();

  private:
    void Solved(const Pelindra::Solve::Calibration& calibration);
    void Failed(const QString& reason);
    void Apply_Click();
    void ShowFrame(const Pelindra::Solve::Calibration* calibration);

    Pelindra::Core::TrackParams& params_;
    Pelindra::Solve::Frame frame_;
    std::function<void()> applied_;
    Pelindra::Solve::PlateSolver* solver_;
    std::optional<Pelindra::Solve::Calibration> calibration_;
    std::optional<double> guiderAngle_;
    std::optional<double> knownRa_;
    std::optional<double> knownDec_;
    QImage image_;  // the frame in grey, row 0 at the top

    QLabel* Picture;
    QLabel* Status;
    QLabel* Centre;
    QLabel* Field;
    QLabel* PixelSize;
    QLabel* CameraAngle;
    QLabel* Mirrored;
    QComboBox* FrameSide;
    QDialogButtonBox* Buttons;
    QPushButton* Apply;
};
