#include <QCoreApplication>

#include "tools/TrackCommandLine.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Same name as the desktop program, so both use the same settings file.
    QCoreApplication::setApplicationName("Pelindra");
    QCoreApplication::setApplicationVersion(PELINDRA_VERSION);
    return RunTrackCommandLine(QCoreApplication::arguments());
}
