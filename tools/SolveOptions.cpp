#include "tools/SolveOptions.h"

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
