#include "app/CardLayout.h"

#include "com/ComError.h"
#include "platform/SystemApi.h"

#include <limits>

namespace {

// Raised for a drive path that cannot name the card: the component handed out a bad one.
constexpr HRESULT kUnusablePath = E_INVALIDARG;

constexpr char kPackageFolder[] = "Current\\Firmware\\";
constexpr char kStagingSuffix[] = "~";

// The narrow form of `path`, converted exactly: no character replaced by a look-alike (a
// full-width backslash by '\') or by a default character, and no zero inside its stored
// length.  A null, empty or inexact path raises _com_error.
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

// True when a component of `path` is "." or "..", which would lead the package off the
// folder the path seems to name.  Separators are '\' and '/'; the path is walked by
// characters, so that the byte of a multibyte character never reads as one.
bool HasDotComponent(const char* path) {
    int dots = 0;          // the component's dots so far
    bool onlyDots = true;  // the component holds nothing else
    for (const char* p = path;;) {
        const int step = platform::NarrowCharLength(p);
        const bool separator = step == 0 || (step == 1 && (*p == '\\' || *p == '/'));
        if (separator) {
            if (onlyDots && (dots == 1 || dots == 2)) {
                return true;
            }
            dots = 0;
            onlyDots = true;
        } else if (step == 1 && *p == '.') {
            ++dots;
        } else {
            onlyDots = false;
        }
        if (step <= 0) {
            return false;
        }
        p += step;
    }
}

// The narrow form of a drive path that can name the card; raises _com_error for any other.
TextString CheckedDrivePath(const WideStringHandle& drivePath) {
    TextString narrow = NarrowPath(drivePath);
    if (!platform::IsAbsoluteFolderPath(narrow.Text()) || HasDotComponent(narrow.Text())) {
        ThrowComError(kUnusablePath);
    }
    return narrow;
}

}  // namespace

void CardLayout::CheckDrivePath(const WideStringHandle& drivePath) { CheckedDrivePath(drivePath); }

CardLayout::CardLayout(const WideStringHandle& drivePath, const char* packageName)
    : drive_(CheckedDrivePath(drivePath)) {
    // Built wide and converted, so that a name's characters are judged as the drive's.
    WideStringHandle path(kPackageFolder);
    folder_ = NarrowPath(path);
    path += packageName;
    package_ = NarrowPath(path);
    path += kStagingSuffix;
    staging_ = NarrowPath(path);
}
