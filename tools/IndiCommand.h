#pragma once

#include <QCommandLineParser>
#include <optional>
#include <string>
#include <variant>

#include "core/TrackParams.h"
#include "ephemeris/Table.h"
#include "links/SkyMotion.h"
#include "settings/Settings.h"

// pelindra-track --indi: reads the mount's pier side (--pier-side) or sets its tracking to
// the object's rate (--indi-track), from the options or the ephemeris at `at`. Returns the
// exit status: 0 done, 1 failure, 2 wrong usage.
int RunIndiCommand(const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
                   const Pelindra::Settings::Connections& saved,
                   std::optional<Pelindra::Ephemeris::UtcMs> at);

// The object's motion from --motion and --pa or the ephemeris at `at`, with the declination
// the ephemeris gives, else --declination's.
[[nodiscard]] std::variant<Pelindra::Links::SkyMotion, std::string> MotionFromOptions(
    const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
    std::optional<Pelindra::Ephemeris::UtcMs> at);

// The declination the mount points at, from the INDI server of --indi or, when the settings
// choose one, of the settings; nullopt when no server is chosen, else a value or why not.
[[nodiscard]] std::optional<std::variant<double, std::string>> MountDeclination(
    const QCommandLineParser& parser, const Pelindra::Settings::Connections& saved);
