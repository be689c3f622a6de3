#pragma once

#include <QCommandLineParser>
#include <optional>
#include <string>

#include "core/TrackParams.h"

// pelindra-track --solve FRAME: plate-solves a guide frame and prints
// "PIXEL_SIZE CAMERA_ANGLE MIRRORED"; with --save, writes the pixel size, the camera angle
// and the reversal flags into the settings file. `params` holds the settings with the
// other options applied: its pixel size is the scale hint, its mount type and side the
// rule's. Returns the exit status: 0 done, 1 failure, 2 wrong usage.
int RunSolveCommand(const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
                    const std::string& settingsPath);

// The options that cannot go with --solve, or with --save without it; throws nothing,
// returns the complaint.
std::optional<std::string> SolveOptionsProblem(const QCommandLineParser& parser);
