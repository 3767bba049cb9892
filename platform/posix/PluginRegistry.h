// Where the POSIX COM runtime finds a class's plugin, as Windows finds a DLL through
// HKCR\CLSID\{clsid}\InprocServer32: the registry is a directory (env POSIXCOM_REGISTRY,
// else $HOME/.posixcom for an absolute HOME; otherwise there is none) in which the file
//     CLSID/{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}/InprocServer32
// holds the plugin's path on its first line.
#pragma once

#include "platform/posix/Win32Api.h"

#include <string>

namespace platform::posix {

// The plugin path registered for the class, trailing blanks and carriage return removed:
// S_OK with the path; REGDB_E_CLASSNOTREG when there is no registry or no entry;
// REGDB_E_READREGDB when the entry is not a regular file that can be read, or its first line
// is longer than any path (the entry is never opened as a device or FIFO, and never read
// beyond that first line's bound).
HRESULT RegisteredPluginPath(REFCLSID clsid, std::string& path);

}  // namespace platform::posix
