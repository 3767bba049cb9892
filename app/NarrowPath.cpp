#include "app/NarrowPath.h"

#include "com/ComError.h"
#include "platform/SystemApi.h"

#include <limits>

TextString NarrowPath(const WideStringHandle& path) {
    const BSTR wide = path.Wide();
    const UINT length = path.Length();
    if (wide == nullptr || length == 0 || length > static_cast<UINT>(std::numeric_limits<int>::max())) {
        ThrowComError(kUnusablePath);
    }
    // A zero inside would cut the narrow path short, naming another folder.
    for (UINT i = 0; i < length; ++i) {
        if (wide[i] == 0) {
            ThrowComError(kUnusablePath);
        }
    }
    // UTF-8 holds every character; the converter takes no best-fit flag and no default
    // report for it, only the refusal of a lone surrogate.
    const UINT codePage = platform::kPathCodePage;
    const bool utf8 = (codePage == CP_ACP ? GetACP() : codePage) == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    const LPBOOL usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int units = static_cast<int>(length);

    const int bytes =
        platform::sys.WideCharToMultiByte(codePage, flags, wide, units, nullptr, 0, nullptr, usedDefaultOut);
    if (bytes == 0) {
        ThrowLastSystemError();
    }
    if (usedDefault) {
        ThrowComError(kUnusablePath);
    }
    TextString narrow;
    char* buffer = narrow.GetWriteBuffer(bytes);
    if (platform::sys.WideCharToMultiByte(codePage, flags, wide, units, buffer, bytes, nullptr, usedDefaultOut) !=
        bytes) {
        ThrowLastSystemError();
    }
    narrow.ReleaseWriteBuffer(bytes);
    if (usedDefault) {
        ThrowComError(kUnusablePath);
    }
    return narrow;
}
