// Loading a component plugin's shared object, which stays loaded until the process ends.
//
// A process running as root loads only a plugin that no one but root can change
// (RootOnlyPath.h), and loads it through the descriptor of the folder that was judged, as
// "/proc/self/fd/N/<name>": the registered path is never resolved again, and no one but
// root can change what a name in that folder refers to.  The plugin takes that name for
// its own (dladdr, $ORIGIN), so it finds the files it keeps beside itself in the folder
// that was judged; the descriptor stays open until the process ends, one per folder.
// Without /proc that name leads nowhere: root then loads no plugin at all, and says why
// once on standard error.  Anyone else loads the registered path as it is.
#pragma once

#include "platform/posix/Win32Api.h"

#include <string>

namespace platform::posix {

// Loads the plugin at the absolute `path`: S_OK with its handle in `module`;
// CO_E_DLLNOTFOUND when no shared object loads from there; for a process running as root,
// REGDB_E_READREGDB when another user could change the plugin or its way there, or /proc
// is missing.
HRESULT LoadPluginModule(const std::string& path, void** module);

}  // namespace platform::posix
