#pragma once

#include <string>

namespace Pelindra::TrackFile {

// True when `name` is an existing file that is not a folder. Hidden files count, so no
// file is ever replaced without asking.
bool FileExists(const std::string& name);

}  // namespace Pelindra::TrackFile
