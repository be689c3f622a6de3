#include "core/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace Pelindra::Core {

namespace {

FileContent Unusable(std::string reason) {
    return {FileContent::State::Unusable, {}, std::move(reason)};
}

FileContent ReadOpen(int fd, std::size_t limit) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return Unusable(std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return Unusable("it is a folder");
    if (!S_ISREG(info.st_mode)) return Unusable("it is not a regular file");
    if (static_cast<std::size_t>(info.st_size) > limit) return Unusable(TooLargeReason(limit));
    FileContent content;
    content.state = FileContent::State::Read;
    content.bytes.reserve(static_cast<std::size_t>(info.st_size));
    if (auto error = ReadAllFrom(fd, limit, content.bytes)) return Unusable(std::move(*error));
    return content;
}

}  // namespace

std::string TooLargeReason(std::size_t limit) {
    return "it is larger than " + std::to_string(limit / (1024 * 1024)) + " MiB";
}

// Reading past the limit, by one chunk, tells a file that grew since fstat and a pipe that
// goes on for ever from one that ends there.
std::optional<std::string> ReadAllFrom(int fd, std::size_t limit, std::string& bytes) {
    char chunk[64 * 1024];
    while (bytes.size() <= limit) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        if (n == 0) return std::nullopt;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return TooLargeReason(limit);
}

std::string InputName(const std::string& path) {
    if (path == "-") return "standard input";
    std::string quoted(1, '"');
    quoted.append(path).push_back('"');
    return quoted;
}

FileContent ReadRegularFile(const std::string& path, std::size_t limit) {
    // Non-blocking, so a pipe without a writer cannot stall the open.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return {};
        return Unusable(std::strerror(errno));
    }
    FileContent content = ReadOpen(fd, limit);
    close(fd);
    return content;
}

}  // namespace Pelindra::Core
