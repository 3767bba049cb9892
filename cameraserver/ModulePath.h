// The file the component's module was loaded from, and its folder, for the files the
// component keeps beside it; UTF-8 (on Windows converted from the wide name, so that any
// folder name is kept).  OS-specific: posix/PosixModulePath.cpp, win32/Win32ModulePath.cpp.
#pragma once

#include <string>

namespace cameraserver {

std::string ModulePath();
std::string ModuleDirectory();

}  // namespace cameraserver
