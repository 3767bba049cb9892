// The one header through which the core reaches the operating system.
//
// On Windows it brings in the real Windows and COM headers; elsewhere it declares the
// same subset of names, implemented by the substitute layer in platform/posix/.  The core
// includes nothing else of the system and never tests which system it is built for.  The
// replaceable services (platform::sys) are in platform/SystemApi.h, which the files that
// call them include.
#pragma once

#if defined(_WIN32)
#include "platform/win32/Win32Headers.h"
#else
#include "platform/posix/Win32Api.h"
#endif

namespace platform {

// Bytes taken by the narrow character at p in the ANSI code page in force:
// 0 at the terminator, -1 for a multibyte character cut short by the terminator,
// otherwise 1 or more (2 for a double-byte character, up to 4 in UTF-8).
int NarrowCharLength(const char* p);

// The code page in which the core makes paths narrow for the file services.  Windows: the
// ANSI code page, which its "A" file functions take.  POSIX: UTF-8 in every locale, as file
// names are bytes that desktops and other programs write as UTF-8 whatever the locale says;
// the bytes of a name that is not UTF-8 come through as they are (CP_POSIX_FILE_NAMES).
#if defined(_WIN32)
constexpr UINT kPathCodePage = CP_ACP;
#else
constexpr UINT kPathCodePage = CP_POSIX_FILE_NAMES;
#endif

// True when the narrow `path` names a folder from the root of a volume and ends in a path
// separator, so that names appended to it stay below that folder: "X:\..." or
// "\\server\share\..." on Windows, "/.../" without a backslash on POSIX.  Relative paths
// are refused.
bool IsAbsoluteFolderPath(const char* path);

// The drive's name as messages show it, in characters from the start of `drivePath` (an
// absolute folder path): its letter on Windows; on POSIX, where every drive path begins
// with '/', the mount point: the path without its trailing separator ("/" for the root).
UINT DriveNameLength(const char* drivePath);

}  // namespace platform
