#include "tools/PluginLoading.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <cerrno>
#include <cstring>
#include <string>

#include "tools/Console.h"
#include "tools/TrackPlugin.h"

using namespace Pelindra::Tools;

int RunInTrackPlugin(std::string_view option, int& argc, char* argv[]) {
    const std::string what = "--" + std::string(option);
    // The program's own file, links resolved: the plugin lies at a fixed place from it, in
    // the build tree as where it is installed, whatever the prefix.
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe);
    if (length < 0 || static_cast<std::size_t>(length) == sizeof exe) {
        PrintError(what + " cannot find the folder pelindra-track runs from: " +
                   (length < 0 ? std::strerror(errno) : "its name is too long"));
        return kFailure;
    }
    exe[length] = '\0';
    const QString file = QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(exe)).absolutePath() +
                                         "/" PELINDRA_TRACK_PLUGIN_DIR "/pelindra-track-plugin.so");
    if (!QFileInfo::exists(file)) {
        PrintError(what + " needs " + file.toStdString() +
                   ", which is missing; install Pelindra again");
        return kFailure;
    }
    QPluginLoader loader(file);
    auto* plugin = qobject_cast<TrackPlugin*>(loader.instance());
    if (!plugin) {
        PrintError(what + " needs " + file.toStdString() +
                   ", which cannot be loaded: " + loader.errorString().toStdString());
        return kFailure;
    }
    return plugin->Main(argc, argv);
}
