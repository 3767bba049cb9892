// The id table's file as the component reads it, the way its system lets it: linux/ and
// windows/ each have theirs.  Either reads only a regular file of a bounded size: an owner
// or packager may have put anything at the table's name.
#pragma once

#include <cstddef>
#include <string>

namespace usbcamera {

// Far more than any table of camera ids needs.
constexpr std::size_t kTableFileLimit = 1024 * 1024;

// The whole content of the regular file at `path`, at most kTableFileLimit bytes; false,
// with why in `problem`, when it cannot be read or is no such file.
bool ReadTableFile(const std::string& path, std::string& text, std::string& problem);

}  // namespace usbcamera
