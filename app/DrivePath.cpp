#include "app/DrivePath.h"

#include "camera/ComError.h"

#include <limits>

namespace {

// Raised for a drive path that cannot name the card: the component handed out a bad one.
constexpr HRESULT kUnusablePath = E_INVALIDARG;

}  // namespace

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
    const int units = static_cast<int>(length);
    const int bytes = platform::sys.WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (bytes == 0) {
        ThrowLastSystemError();
    }
    TextString narrow;
    char* buffer = narrow.GetWriteBuffer(bytes);
    if (platform::sys.WideCharToMultiByte(CP_ACP, 0, wide, units, buffer, bytes, nullptr, nullptr) != bytes) {
        ThrowLastSystemError();
    }
    narrow.ReleaseWriteBuffer(bytes);
    return narrow;
}

void CheckDrivePath(const WideStringHandle& drivePath) {
    if (!platform::IsAbsoluteFolderPath(NarrowPath(drivePath).Text())) {
        ThrowComError(kUnusablePath);
    }
}
