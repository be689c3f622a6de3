#pragma once

#include <iostream>
#include <string>

// What pelindra-track's runs end with, and how it reports a problem.
namespace Pelindra::Tools {

inline constexpr int kFailure = 1;  // the run could not do what was asked
inline constexpr int kUsage = 2;    // the command line was wrong

// A message on standard error, after the program's name.
inline void PrintError(const std::string& text) {
    std::cerr << "pelindra-track: " << text << '\n';
}

}  // namespace Pelindra::Tools
