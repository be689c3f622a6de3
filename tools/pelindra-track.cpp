#include <QCoreApplication>
#include <iostream>

#include "core/Utf8.h"
#include "tools/TrackCommandLine.h"

using namespace Pelindra::Core;

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
    QCoreApplication app(argc, argv);
    // Same name as the desktop program, so both use the same settings file.
    QCoreApplication::setApplicationName("Pelindra");
    QCoreApplication::setApplicationVersion(PELINDRA_VERSION);
    return RunTrackCommandLine(QCoreApplication::arguments());
}
