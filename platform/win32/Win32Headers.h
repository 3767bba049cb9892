// The real Windows and COM headers, configured once for MinGW and MSVC alike.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <oaidl.h>
