#pragma once

#include <string_view>

// pelindra-track's runs that draw or connect, handed to its plugin: the plugin's exit
// status, or 1 with a message when the plugin is missing or cannot be loaded. `option`
// names what asked for it, for that message.
int RunInTrackPlugin(std::string_view option, int& argc, char* argv[]);
