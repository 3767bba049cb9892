// Creation of a COM class from a component carried beside the program, with no registry
// entry: the seam's entry CoCreateSideBySide (SystemApi.h).  Windows: platform/win32/
// SideBySide.cpp, through an activation context made from the component's embedded
// manifest; POSIX: platform/posix/SideBySide.cpp, a system without side-by-side components.
#pragma once

#include "platform/Platform.h"
#include "platform/SystemApi.h"

namespace platform {

HRESULT CoCreateSideBySide(LPCWSTR component, REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid,
                           LPVOID* object, SideBySideStep* step);

}  // namespace platform
