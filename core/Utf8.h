#pragma once

#include <string_view>

namespace Pelindra::Core {

// Whether bytes are well-formed UTF-8, the form every text and file name takes inside the
// program: a name that is not would come back as another name after the conversion.
bool IsValidUtf8(std::string_view bytes);

}  // namespace Pelindra::Core
