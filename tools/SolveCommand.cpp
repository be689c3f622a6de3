#include "tools/SolveCommand.h"

#include <QEventLoop>

#include "settings/Settings.h"
#include "solve/Calibration.h"
#include "solve/FitsFrame.h"
#include "solve/PlateSolver.h"
#include "tools/Console.h"

using namespace Pelindra::Core;
using namespace Pelindra::Solve;
using namespace Pelindra::Tools;

namespace {

// As the window's Apply: the settings file as it is, with the calibration written into it
// and nothing else changed but the mount type --mount names.
int SaveCalibration(const Calibration& calibration, PierSide side, const TrackParams& params,
                    bool mountGiven, const std::string& path) {
    const auto problem = Pelindra::Settings::UpdateSettings(path, [&](TrackParams& saved) {
        if (mountGiven) saved.MountType = params.MountType;
        ApplyCalibration(saved, calibration, side);
    });
    if (problem) {
        PrintError(*problem);
        return kFailure;
    }
    return 0;
}

}  // namespace

std::optional<std::string> SolveOptionsProblem(const QCommandLineParser& parser) {
    if (!parser.isSet("solve")) {
        if (parser.isSet("save")) return "--save goes with --solve";
        return std::nullopt;
    }
    for (const char* other :
         {"output", "offsets", "plot", "ephemeris", "at", "rate", "follow", "phd2", "indi"}) {
        if (parser.isSet(other)) {
            return std::string(
                       "--solve prints the calibration of a frame: it does not go with --") +
                   other;
        }
    }
    return std::nullopt;
}

int RunSolveCommand(const QCommandLineParser& parser, const TrackParams& params,
                    const std::string& settingsPath) {
    const std::string path = parser.value("solve").toStdString();
    auto read = ReadFitsFrame(path);
    if (const auto* problem = std::get_if<std::string>(&read)) {
        PrintError(*problem);
        return kFailure;
    }
    const Frame& frame = std::get<Frame>(read);
    const SolveHints hints =
        HintsFor(frame, params.PixSize > 0 ? std::optional<double>(params.PixSize) : std::nullopt);

    PlateSolver solver;
    QEventLoop loop;
    std::optional<Calibration> found;
    QObject::connect(&solver, &PlateSolver::solved, &loop, [&](const Calibration& calibration) {
        found = calibration;
        loop.quit();
    });
    QObject::connect(&solver, &PlateSolver::failed, &loop, [&](const QString& reason) {
        PrintError("\"" + path + "\": " + reason.toStdString());
        loop.quit();
    });
    solver.Start(frame, hints, kCommandLineSolveLimit);
    // A solver that is missing has already been told.
    if (solver.Busy()) loop.exec();
    if (!found) return kFailure;

    if (parser.isSet("save")) {
        // The side named on the command line, else the frame's, else the settings'.
        const PierSide side =
            parser.isSet("side") || !frame.pierSide ? RecordPierSide(params) : *frame.pierSide;
        if (const int status =
                SaveCalibration(*found, side, params, parser.isSet("mount"), settingsPath)) {
            return status;
        }
    }
    return WriteToStandardOutput(CalibrationLine(*found) + '\n');
}
