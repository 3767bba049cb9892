// The call log's file, appended to one line at a time, the way the system lets it be kept
// to a regular file (posix/, win32/).
#pragma once

#include <string>

namespace cameraserver {

// Appends `line` and a line end to the regular file at `path`, made if it is not there.
// Nothing is written when the name holds a link, a FIFO, a device or a folder: the log's
// name comes from the environment, and a log must neither hang the component nor write
// where a link points.
void AppendLogLine(const char* path, const std::string& line) noexcept;

}  // namespace cameraserver
