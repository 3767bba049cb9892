// Whether the Windows build runs under Wine.  A test that meets one of Wine's known
// differences from Windows says which, checks Wine's result there, and keeps checking
// the Windows rule everywhere else.
#pragma once

#include "platform/Platform.h"

inline bool UnderWine() {
#if defined(_WIN32)
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}
