// A path made narrow for the card's file services, in the code page they take
// (platform::kPathCodePage), exactly: no character replaced by a look-alike (a full-width
// backslash by '\') or by a default character, and no zero inside its stored length, so that
// the narrow path names the folder or file the wide one does.
#pragma once

#include "com/WideStringHandle.h"
#include "platform/Platform.h"
#include "text/TextString.h"

// Raised for a path that cannot name the card: the component handed out a bad drive path.
constexpr HRESULT kUnusablePath = E_INVALIDARG;

// A null, empty or inexact path raises _com_error (kUnusablePath, or the converter's error).
TextString NarrowPath(const WideStringHandle& path);
