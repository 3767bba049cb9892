// The camera's drive path and the package paths built on it, in the narrow form that the
// file services take.  The path comes from the camera component, so it is checked before
// anything is written under it.
#pragma once

#include "com/WideStringHandle.h"
#include "text/TextString.h"

// The narrow form of `path` in the file services' code page (platform::kPathCodePage),
// converted exactly: no character replaced by a look-alike (a full-width backslash by '\')
// or by a default character, and no zero inside its stored length.  A null, empty or
// inexact path raises _com_error.
TextString NarrowPath(const WideStringHandle& path);

// Raises _com_error unless `drivePath` converts exactly and names a folder absolutely,
// ending in a separator, so that "Current\Firmware\..." appended to it stays on the card.
void CheckDrivePath(const WideStringHandle& drivePath);
