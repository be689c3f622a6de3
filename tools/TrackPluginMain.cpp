#include <QCoreApplication>
#include <QGuiApplication>
#include <QObject>
#include <memory>

#include "tools/TrackCommandLine.h"
#include "tools/TrackPlugin.h"
#include "tools/TrackStart.h"

using namespace Pelindra::Tools;

namespace {

QtMessageHandler qtHandler = nullptr;

// A run without a login session (cron, CI) has no XDG_RUNTIME_DIR, which the GUI library
// remarks on while starting; a picture written to a file needs none, so a script does
// not see that remark on standard error.
void WithoutRuntimeRemark(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
    if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) return;
    if (qtHandler) qtHandler(type, context, message);
}

}  // namespace

class TrackPluginMain : public QObject, public TrackPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID PELINDRA_TRACK_PLUGIN_IID)
    Q_INTERFACES(Pelindra::Tools::TrackPlugin)

  public:
    int Main(int& argc, char* argv[]) override {
        std::unique_ptr<QCoreApplication> app;
        // --plot draws text, which needs the GUI library's fonts; the links need no more
        // than Qt Core's event loop.
        if (FirstOptionGiven(argc, argv, {"plot"})) {
            // Drawing to a file needs no display, whatever the desktop offers.
            qputenv("QT_QPA_PLATFORM", "offscreen");
            qtHandler = qInstallMessageHandler(WithoutRuntimeRemark);
            app = std::make_unique<QGuiApplication>(argc, argv);
            qInstallMessageHandler(qtHandler);
        } else {
            app = std::make_unique<QCoreApplication>(argc, argv);
        }
        NameTrackApplication();
        return RunTrackCommandLine(QCoreApplication::arguments());
    }
};

#include "TrackPluginMain.moc"
