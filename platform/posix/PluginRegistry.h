// Where the POSIX COM runtime finds a class's plugin, as Windows finds a DLL through
// HKCR\CLSID\{clsid}\InprocServer32: a registry is a directory in which the file
//     CLSID/{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}/InprocServer32
// holds the plugin's path on its first line.  Two registries are searched, and the first
// that has an entry for the class wins, as HKCR merges the user's classes over the
// machine's: the user's (env POSIXCOM_REGISTRY, else $HOME/.posixcom for an absolute HOME;
// otherwise none), then the system's, FWUPGRADE_SYSTEM_REGISTRY as built (the Debian
// package: /usr/lib/<multiarch>/fwupgrade/posixcom), where an installed component is found
// without any setting.
#pragma once

#include "platform/posix/Win32Api.h"

#include <string>

namespace platform::posix {

// The plugin path registered for the class, trailing blanks and carriage return removed:
// S_OK with the path; REGDB_E_CLASSNOTREG when neither registry has an entry;
// REGDB_E_READREGDB when the entry is not a regular file that can be read, or its first line
// is longer than any path (the entry is never opened as a device or FIFO, and never read
// beyond that first line's bound), or, for a process running as root, when another user
// could change the entry (RootOnlyPath.h: the entry, a folder above it or a link on its way
// is not root's or is writable by others).  Whether root may load the plugin the path names
// is the loader's question (PluginModule.h).
HRESULT RegisteredPluginPath(REFCLSID clsid, std::string& path);

}  // namespace platform::posix
