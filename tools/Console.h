#pragma once

#include <unistd.h>

#include <iostream>
#include <string>
#include <string_view>

#include "core/AtomicFile.h"

// What pelindra-track's runs end with, and how it reports a problem.
namespace Pelindra::Tools {

inline constexpr int kFailure = 1;  // the run could not do what was asked
inline constexpr int kUsage = 2;    // the command line was wrong

// A message on standard error, after the program's name.
inline void PrintError(const std::string& text) {
    std::cerr << "pelindra-track: " << text << '\n';
}

// Standard output is checked like any file: a full disk or a closed stream is a failure.
inline int WriteToStandardOutput(std::string_view bytes) {
    if (const auto error = Core::WriteAllTo(STDOUT_FILENO, bytes)) {
        PrintError("cannot write to standard output: " + *error);
        return kFailure;
    }
    return 0;
}

}  // namespace Pelindra::Tools
