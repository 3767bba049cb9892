// The texts a component reports are UTF-8 where they come from (a scenario file, the id
// table, sysfs) and UTF-16 where they are handed out.
#pragma once

#include <string>

#include "ReportedText.h"

namespace cameraserver {

// Appends `bytes`, UTF-8, to `out` as UTF-16; a byte that does not begin a well-formed
// sequence becomes U+FFFD.
void AppendUtf8(const std::string& bytes, Units& out);

}  // namespace cameraserver
