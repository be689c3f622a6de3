#pragma once

#include <optional>
#include <string>
#include <string_view>

// Replaces the file at `path` with `bytes` in one step: the bytes go to a temporary file
// beside it, which is moved over the target only once complete, so a failure leaves an
// existing file as it was and no partial file behind. A target that exists but is not a
// regular file (a device such as /dev/full) is written directly instead. Returns the
// system's reason on failure.
std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes);
