#pragma once

#include <QCoreApplication>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The start that pelindra-track and its plugin share.
namespace Pelindra::Tools {

// The first of `names` given as an option, in any form the command line's parser reads as
// that option: --name, --name=VALUE, -name, -name=VALUE. An argument that is another
// option's value also counts, which only costs that run the plugin's longer start.
inline std::optional<std::string_view> FirstOptionGiven(
    int argc, char* argv[], std::initializer_list<std::string_view> names) {
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--") return std::nullopt;  // all that follows is positional
        if (argument.starts_with("--")) {
            argument.remove_prefix(2);
        } else if (argument.starts_with('-')) {
            argument.remove_prefix(1);
        } else {
            continue;
        }
        const std::string_view name = argument.substr(0, argument.find('='));
        for (std::string_view wanted : names) {
            if (name == wanted) return wanted;
        }
    }
    return std::nullopt;
}

// Same name as the desktop program, so both use the same settings file.
inline void NameTrackApplication() {
    QCoreApplication::setApplicationName("Pelindra");
    QCoreApplication::setApplicationVersion(PELINDRA_VERSION);
}

}  // namespace Pelindra::Tools
