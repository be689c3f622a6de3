#pragma once

#include <QCommandLineParser>
#include <optional>

#include "core/TrackParams.h"
#include "ephemeris/Table.h"
#include "settings/Settings.h"

// pelindra-track --indi: reads the mount's pier side (--pier-side) or sets its tracking to
// the object's rate (--indi-track), from the options or the ephemeris at `at`. Returns the
// exit status: 0 done, 1 failure, 2 wrong usage.
int RunIndiCommand(const QCommandLineParser& parser, const Pelindra::Core::TrackParams& params,
                   const Pelindra::Settings::Connections& saved,
                   std::optional<Pelindra::Ephemeris::UtcMs> at);
