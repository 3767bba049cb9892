// The texts a component reports are UTF-8 where they come from (a scenario file, the id
// table, sysfs) and UTF-16 where they are handed out.
#pragma once

#include <string>

#include "cameraserver/ReportedText.h"

namespace cameraserver {

// Appends `bytes`, UTF-8, to `out` as UTF-16; a byte that does not begin a well-formed
// sequence becomes U+FFFD.
void AppendUtf8(const std::string& bytes, Units& out);

// Appends a file name's `bytes` to `out` as UTF-16, every byte kept: well-formed UTF-8 as its
// characters, any other byte b as the lone surrogate U+DC00 + b, which the POSIX file
// services take back as that byte.  A folder's name on a card need not be UTF-8 (a Latin-1
// volume label), and a name spelt otherwise would name another folder.
void AppendFileName(const std::string& bytes, Units& out);

}  // namespace cameraserver
