#include <QCoreApplication>
#include <QGuiApplication>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "core/Utf8.h"
#include "tools/TrackCommandLine.h"

using namespace Pelindra::Core;

namespace {

// --plot draws text, which needs the GUI library's fonts; no other run loads it.
bool DrawsAPicture(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        for (std::string_view option : {"--plot", "-plot"}) {
            if (argument == option || argument.starts_with(std::string(option) + '=')) return true;
        }
    }
    return false;
}

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
    std::unique_ptr<QCoreApplication> app;
    if (DrawsAPicture(argc, argv)) {
        // Drawing to a file needs no display, whatever the desktop offers.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qtHandler = qInstallMessageHandler(WithoutRuntimeRemark);
        app = std::make_unique<QGuiApplication>(argc, argv);
        qInstallMessageHandler(qtHandler);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    // Same name as the desktop program, so both use the same settings file.
    QCoreApplication::setApplicationName("Pelindra");
    QCoreApplication::setApplicationVersion(PELINDRA_VERSION);
    return RunTrackCommandLine(QCoreApplication::arguments());
}
