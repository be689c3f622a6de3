#include "solve/PlateSolver.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace Pelindra::Solve {

namespace {

// The share of the scale on either side of the hint that is searched.
constexpr double kScaleMargin = 0.25;
// How far from the hinted position the search goes: a mount's pointing or an ephemeris
// may be off by a good part of a degree, a frame's centre from its keywords by more.
constexpr double kSearchRadiusDegrees = 5;
// Frames at least this large on both sides are halved for finding their stars: four times
// fewer pixels to search, and a guide camera's stars still cover several of them.
constexpr int kDownsampleFromPixels = 700;
// The solver's output kept for the reason of a failure.
constexpr qsizetype kOutputKeptBytes = 4096;

QString Number(double value) {
    return QString::number(value, 'f', 6);
}

// The solver's last line that says something, for a failure it reports itself.
QString LastLine(const QByteArray& output) {
    const QList<QByteArray> lines = output.split('\n');
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        const QString line = QString::fromUtf8(*it).trimmed();
        if (!line.isEmpty()) return line;
    }
    return {};
}

}  // namespace

SolveHints HintsFor(const Frame& frame, std::optional<double> currentPixelSize,
                    std::optional<double> knownRaDegrees, std::optional<double> knownDecDegrees) {
    SolveHints hints;
    hints.arcsecPerPixel = frame.arcsecPerPixel;
    if (!hints.arcsecPerPixel && currentPixelSize && *currentPixelSize > 0) {
        hints.arcsecPerPixel = currentPixelSize;
    }
    if (frame.raDegrees && frame.decDegrees) {
        hints.raDegrees = frame.raDegrees;
        hints.decDegrees = frame.decDegrees;
    } else if (knownRaDegrees && knownDecDegrees) {
        hints.raDegrees = knownRaDegrees;
        hints.decDegrees = knownDecDegrees;
    }
    return hints;
}

PlateSolver::PlateSolver(QObject* parent) : QObject(parent) {
    limitTimer_.setSingleShot(true);
    limitTimer_.setTimerType(Qt::PreciseTimer);
    connect(&limitTimer_, &QTimer::timeout, this, [this] {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limit_).count();
        Fail(QString(seconds == 1 ? "The frame could not be solved within %1 second."
                                  : "The frame could not be solved within %1 seconds.")
                 .arg(seconds));
    });
    secondTimer_.setInterval(1000);
    connect(&secondTimer_, &QTimer::timeout, this, [this] { emit progress(++elapsedSeconds_); });
}

PlateSolver::~PlateSolver() {
    StopProcess();
}

QString PlateSolver::SolverProgram() {
    return QStandardPaths::findExecutable("solve-field");
}

QString PlateSolver::WorkFolder() const {
    return folder_ ? folder_->path() : QString();
}

qint64 PlateSolver::ProcessId() const {
    return process_ ? process_->processId() : 0;
}

void PlateSolver::Start(const Frame& frame, const SolveHints& hints,
                        std::chrono::milliseconds limit) {
    if (busy_) return;
    busy_ = true;
    limit_ = limit;
    elapsedSeconds_ = 0;
    width_ = frame.width;
    height_ = frame.height;
    lastLines_.clear();

    const QString program = SolverProgram();
    if (program.isEmpty()) {
        Fail(
            "The plate solver is not installed: it comes with Debian's astrometry.net package "
            "and its index files (astrometry-data-tycho2-10-19 and astrometry-data-tycho2-09).");
        return;
    }
    folder_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/pelindra-solve-XXXXXX");
    if (!folder_->isValid()) {
        Fail("Cannot create a temporary folder to solve in: " + folder_->errorString() + ".");
        return;
    }
    const QString image = folder_->filePath("frame.fits");
    if (const auto problem = WriteFitsPixels(image.toStdString(), frame)) {
        Fail(QString::fromStdString("Cannot prepare the frame for solving: " + *problem + "."));
        return;
    }

    QStringList arguments = {
        "--overwrite",
        "--no-plots",
        "--new-fits",
        "none",
        "--crpix-center",
        "--dir",
        folder_->path(),
        "--temp-dir",
        folder_->path(),
        "--wcs",
        "solution.wcs",
        "--cpulimit",
        QString::number(std::max<long long>(
            1, std::chrono::duration_cast<std::chrono::seconds>(limit).count())),
    };
    if (hints.arcsecPerPixel) {
        arguments << "--scale-units"
                  << "arcsecperpix"
                  << "--scale-low" << Number(*hints.arcsecPerPixel * (1 - kScaleMargin))
                  << "--scale-high" << Number(*hints.arcsecPerPixel * (1 + kScaleMargin));
    }
    if (hints.raDegrees && hints.decDegrees) {
        arguments << "--ra" << Number(*hints.raDegrees) << "--dec" << Number(*hints.decDegrees)
                  << "--radius" << Number(kSearchRadiusDegrees);
    }
    if (frame.width >= kDownsampleFromPixels && frame.height >= kDownsampleFromPixels) {
        arguments << "--downsample"
                  << "2";
    }
    arguments << image;

    process_ = new QProcess(this);
    process_->setProcessChannelMode(QProcess::MergedChannels);
    process_->setWorkingDirectory(folder_->path());
    // A group of its own, so stopping it stops every program it started as well.
    process_->setChildProcessModifier([] { ::setsid(); });
    connect(process_, &QProcess::readyRead, this, &PlateSolver::ReadOutput);
    connect(process_, &QProcess::finished, this, &PlateSolver::Finished);
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            Fail("The plate solver could not be started: " + process_->errorString() + ".");
        }
    });
    limitTimer_.start(limit);
    secondTimer_.start();
    process_->start(program, arguments);
}

void PlateSolver::Cancel() {
    if (busy_) Fail("The solving was cancelled.");
}

void PlateSolver::ReadOutput() {
    if (!process_) return;
    lastLines_ += process_->readAll();
    if (lastLines_.size() > kOutputKeptBytes) lastLines_ = lastLines_.right(kOutputKeptBytes);
}

void PlateSolver::Finished(int exitCode, QProcess::ExitStatus status) {
    if (!busy_) return;
    ReadOutput();
    const QString wcs = folder_->filePath("solution.wcs");
    if (status != QProcess::NormalExit || exitCode != 0) {
        const QString last = LastLine(lastLines_);
        Fail("The plate solver stopped with an error" + (last.isEmpty() ? "" : ": " + last) + ".");
        return;
    }
    if (!QFileInfo::exists(wcs)) {
        Fail(
            "No stars of the catalogue could be matched with this frame, so it could not be "
            "solved. A field smaller than the installed index files reach, a wrong pixel "
            "size or a frame without sharp stars is the usual cause.");
        return;
    }
    auto calibration = ReadWcsCalibration(wcs.toStdString(), width_, height_);
    if (const auto* problem = std::get_if<std::string>(&calibration)) {
        Fail(QString::fromStdString("The frame could not be solved: " + *problem + "."));
        return;
    }
    StopProcess();
    busy_ = false;
    emit solved(std::get<Calibration>(calibration));
}

void PlateSolver::StopProcess() {
    limitTimer_.stop();
    secondTimer_.stop();
    if (process_) {
        process_->disconnect(this);
        if (process_->state() != QProcess::NotRunning) {
            const qint64 pid = process_->processId();
            // The group's id is the solver's own (setsid), so this reaches its children.
            if (pid > 0) ::kill(static_cast<pid_t>(-pid), SIGKILL);
            process_->kill();
            process_->waitForFinished(5000);
        }
        process_->deleteLater();
        process_ = nullptr;
    }
    folder_.reset();
}

void PlateSolver::Fail(const QString& reason) {
    StopProcess();
    if (!busy_) return;
    busy_ = false;
    emit failed(reason);
}

}  // namespace Pelindra::Solve
