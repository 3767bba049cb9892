// The id table's file as the component reads it, the way its system lets it: linux/ and
// windows/ each have theirs.
#pragma once

#include <string>

namespace usbcamera {

// The whole content of the file at `path`; false when it cannot be read.
bool ReadTableFile(const std::string& path, std::string& text);

}  // namespace usbcamera
