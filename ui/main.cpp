#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

#include "core/TrackParams.h"
#include "settings/Settings.h"
#include "ui/MainForm.h"
#include "ui/QtDialogs.h"
#include "ui/ReadableStyle.h"

using namespace Pelindra::Core;
using namespace Pelindra::TrackFile;
using namespace Pelindra::Settings;

namespace {

bool HasDisplay() {
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
           std::getenv("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!HasDisplay()) {
        std::fputs(
            "pelindra: no graphical display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
            "Pelindra is a desktop program: start it from a desktop session.\n"
            "For a track file without a window, use pelindra-track (see pelindra-track --help).\n",
            stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("Pelindra");
    QApplication::setApplicationVersion(PELINDRA_VERSION);
    QApplication::setWindowIcon(QIcon(":/images/pelindra.png"));
    QGuiApplication::setDesktopFileName("org.pelindra.Pelindra");
    // Outlines that show on a dark desktop palette, and Night Mode's red pictures.
    QApplication::setStyle(new ReadableStyle);

    // The one record of the run, shared by every window until the event loop ends.
    TrackParams params;
    QtDialogs dialogs;
    // Deleted when closed; the program ends when its last window is gone.
    auto* mainForm = new MainForm(params, dialogs, SettingsFilePath());
    mainForm->setAttribute(Qt::WA_DeleteOnClose);
    mainForm->Form_Load();
    mainForm->show();
    return app.exec();
}
