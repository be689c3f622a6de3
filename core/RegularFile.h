#pragma once

#include <cstddef>
#include <string>

namespace Pelindra::Core {


struct FileContent {
    enum class State { Read, Missing, Unusable };
    State state = State::Missing;
    std::string bytes;   // when Read
    std::string reason;  // when Unusable: why, in the system's words where it has them
};

// Reads a regular file of at most `limit` bytes. Anything else in its place (a folder, a
// pipe that would block, a device that never ends, a file too large or unreadable) is
// Unusable and is never opened in a way that could hang.
FileContent ReadRegularFile(const std::string& path, std::size_t limit);

}  // namespace Pelindra::Core
