#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace Pelindra::Core {

struct FileContent {
    enum class State { Read, Missing, Unusable };
    State state = State::Missing;
    std::string bytes;   // when Read
    std::string reason;  // when Unusable: why, in the system's words where it has them
};

// "it is larger than 64 MiB": why a text over `limit` bytes is not read.
std::string TooLargeReason(std::size_t limit);

// Reads `fd` to its end, appending to `bytes`, but never more than one chunk past `limit`:
// the system's reason when a read fails, TooLargeReason when it holds more.
[[nodiscard]] std::optional<std::string> ReadAllFrom(int fd, std::size_t limit, std::string& bytes);

// "standard input" for "-", else the path in quotes: how a message names what it read.
std::string InputName(const std::string& path);

// Reads a regular file of at most `limit` bytes. Anything else in its place (a folder, a
// pipe that would block, a device that never ends, a file too large or unreadable) is
// Unusable and is never opened in a way that could hang.
FileContent ReadRegularFile(const std::string& path, std::size_t limit);

}  // namespace Pelindra::Core
