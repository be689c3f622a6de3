#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Pelindra::Core {

// Replaces the file at `path` with `bytes` in one step: the bytes go to a temporary file
// beside it, which is written, synced and closed, each step checked, and only then moved
// over the target; a failure leaves an existing file as it was and no partial file
// behind. A link to a file replaces the file it points to. A target that exists but is
// not a regular file (a device, a pipe) is refused at once and left alone. Returns the
// reason on failure ("No space left on device").
[[nodiscard]] std::optional<std::string> WriteFileAtomically(const std::string& path,
                                                             std::string_view bytes);

// Writes all of `bytes` to an open descriptor, going on after short writes and
// interruptions. Returns the system's reason on failure.
[[nodiscard]] std::optional<std::string> WriteAllTo(int fd, std::string_view bytes);

}  // namespace Pelindra::Core
