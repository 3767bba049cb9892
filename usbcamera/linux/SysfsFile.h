// Small reads of the kernel's attribute files (sysfs, procfs).
#pragma once

#include <string>

#include "usbcamera/Trimmed.h"

namespace usbcamera {

// The whole content of the file at `path`; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& content);

// The attribute at `path` without the spaces and line ends around it; empty when the file
// cannot be read.
std::string ReadAttribute(const std::string& path);

// Whether a file or folder exists at `path`.
bool Exists(const std::string& path);


}  // namespace usbcamera
