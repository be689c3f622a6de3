#pragma once

#include <QtPlugin>

// What pelindra-track loads only for a run that draws (--plot) or connects (--phd2,
// --indi): the whole command line with the GUI and network libraries behind it, so that
// every other run starts with Qt Core alone.
namespace Pelindra::Tools {

class TrackPlugin {
  public:
    virtual ~TrackPlugin() = default;
    // Runs the command line as the program's main would, from the application object on;
    // the arguments have been checked for UTF-8. Returns the exit status.
    virtual int Main(int& argc, char* argv[]) = 0;
};

}  // namespace Pelindra::Tools

#define PELINDRA_TRACK_PLUGIN_IID "org.pelindra.TrackPlugin/1.0"
Q_DECLARE_INTERFACE(Pelindra::Tools::TrackPlugin, PELINDRA_TRACK_PLUGIN_IID)
