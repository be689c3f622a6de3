#include "ephemeris/Reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "core/RegularFile.h"
#include "ephemeris/HorizonsReader.h"
#include "ephemeris/MpcReader.h"

namespace Pelindra::Ephemeris {

namespace {

// Standard input may be a pipe of any length: read up to the limit, and say so past it.
// Returns the reason when it cannot be read.
std::optional<std::string> ReadStandardInput(std::string& bytes) {
    char chunk[64 * 1024];
    while (bytes.size() <= kEphemerisSizeLimit) {
        const ssize_t n = read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        if (n == 0) return std::nullopt;
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return "it is larger than 64 MiB";
}

}  // namespace

std::variant<Table, ReadError> ReadEphemeris(std::string_view text) {
    if (LooksLikeHorizons(text)) return ReadHorizons(text);
    if (LooksLikeMpc(text)) return ReadMpc(text);
    return ReadError{std::string(kNoTableFound), 0};
}

std::variant<Table, ReadError> ReadEphemerisFile(const std::string& path) {
    const std::string name = path == "-" ? "standard input" : "\"" + path + "\"";
    std::string bytes;
    if (path == "-") {
        if (const auto error = ReadStandardInput(bytes)) {
            return ReadError{"cannot read " + name + ": " + *error};
        }
    } else {
        Core::FileContent file = Core::ReadRegularFile(path, kEphemerisSizeLimit);
        if (file.state == Core::FileContent::State::Missing) {
            return ReadError{"cannot read " + name + ": " + std::strerror(ENOENT)};
        }
        if (file.state == Core::FileContent::State::Unusable) {
            return ReadError{"cannot read " + name + ": " + file.reason};
        }
        bytes = std::move(file.bytes);
    }
    std::variant<Table, ReadError> result = ReadEphemeris(bytes);
    if (auto* error = std::get_if<ReadError>(&result)) {
        std::string where = name;
        if (error->line > 0) where += ", line " + std::to_string(error->line);
        error->message = where + ": " + error->message;
    }
    return result;
}

}  // namespace Pelindra::Ephemeris
