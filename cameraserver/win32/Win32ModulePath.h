// The DLL's own module handle and file name.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace cameraserver {

HMODULE ThisModule();

// The DLL's full path as the system names it (any length); empty when it cannot be had.
std::wstring ModuleFileName();

}  // namespace cameraserver
