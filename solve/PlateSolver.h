#pragma once

#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <chrono>
#include <memory>
#include <optional>

#include "solve/Calibration.h"
#include "solve/FitsFrame.h"

class QTemporaryDir;

namespace Pelindra::Solve {

// What narrows the search: the scale is searched within +-25 %, the position within a few
// degrees. Without them the solver searches the whole sky at every scale, far slower.
struct SolveHints {
    std::optional<double> arcsecPerPixel;
    std::optional<double> raDegrees;
    std::optional<double> decDegrees;
};

// The frame's own header first; then the current pixel size and a position the caller
// knows (the loaded ephemeris), where there are such.
[[nodiscard]] SolveHints HintsFor(const Frame& frame, std::optional<double> currentPixelSize,
                                  std::optional<double> knownRaDegrees = std::nullopt,
                                  std::optional<double> knownDecDegrees = std::nullopt);

// The wall-clock limits: the window's user waits with a Cancel button, a script longer.
inline constexpr std::chrono::seconds kWindowSolveLimit{60};
inline constexpr std::chrono::seconds kCommandLineSolveLimit{90};

// Runs Debian's astrometry.net solver (solve-field) on a frame in a temporary folder of
// its own. Nothing waits: the outcome arrives as solved() or failed(), progress() counts
// the seconds meanwhile. solve-field does not keep to its own CPU limit, so a wall-clock
// limit stops it, with every program it started, by its process group; the folder goes
// with it.
class PlateSolver : public QObject {
    Q_OBJECT

  public:
    explicit PlateSolver(QObject* parent = nullptr);
    ~PlateSolver() override;

    void Start(const Frame& frame, const SolveHints& hints, std::chrono::milliseconds limit);
    // Stops a solve under way; failed() then says it was cancelled.
    void Cancel();
    [[nodiscard]] bool Busy() const { return busy_; }
    // The folder of the solve under way (empty when idle): gone once it ends.
    [[nodiscard]] QString WorkFolder() const;
    // The solver's process id while it runs, else 0.
    [[nodiscard]] qint64 ProcessId() const;

    // solve-field's full path, empty when astrometry.net is not installed.
    [[nodiscard]] static QString SolverProgram();

  signals:
    void progress(int elapsedSeconds);
    void solved(const Pelindra::Solve::Calibration& calibration);
    void failed(const QString& reason);

  private:
    void Finished(int exitCode, QProcess::ExitStatus status);
    void ReadOutput();
    void StopProcess();
    // Ends the solve: the process stopped, the folder removed, then the one signal.
    void Fail(const QString& reason);

    QProcess* process_ = nullptr;
    std::unique_ptr<QTemporaryDir> folder_;
    QTimer limitTimer_;
    QTimer secondTimer_;
    int elapsedSeconds_ = 0;
    std::chrono::milliseconds limit_{0};
    int width_ = 0;
    int height_ = 0;
    bool busy_ = false;
    QByteArray lastLines_;  // the solver's latest output, bounded, for its own reason
};

}  // namespace Pelindra::Solve
