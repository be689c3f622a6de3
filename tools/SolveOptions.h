#pragma once

#include <QCommandLineParser>
#include <optional>
#include <string>

// The options that cannot go with --solve, or with --save without it; throws nothing,
// returns the complaint. Checked by pelindra-track itself, which leaves solving (and
// cfitsio behind it) to its plugin.
std::optional<std::string> SolveOptionsProblem(const QCommandLineParser& parser);
