#include <QCoreApplication>
#include <iostream>

#include "core/Utf8.h"
#include "tools/PluginLoading.h"
#include "tools/TrackCommandLine.h"
#include "tools/TrackStart.h"

using namespace Pelindra::Core;
using namespace Pelindra::Tools;

int main(int argc, char* argv[]) {
    // Qt turns the arguments into text; bytes that are not UTF-8 would come back as another
    // file name, so such an argument is refused rather than written to the wrong file.
    for (int i = 1; i < argc; ++i) {
        if (!IsValidUtf8(argv[i])) {
            std::cerr << "pelindra-track: argument " << i
                      << " is not valid UTF-8 text; file names must be UTF-8\n";
            return 2;
        }
    }
    // Drawing and the links load the GUI and network libraries, from the plugin; every
    // other run starts with Qt Core alone.
    if (const auto option = FirstOptionGiven(argc, argv, {"plot", "phd2", "indi"})) {
        return RunInTrackPlugin(*option, argc, argv);
    }
    QCoreApplication app(argc, argv);
    NameTrackApplication();
    return RunTrackCommandLine(QCoreApplication::arguments());
}
