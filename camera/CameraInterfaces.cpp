#include "camera/CameraInterfaces.h"

namespace {
// The maker's identities share everything but their first two fields.
constexpr GUID MakerGuid(DWORD data1, WORD data2) {
    return {data1, data2, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};
}
}  // namespace

const CLSID CLSID_CameraAccessComponent = MakerGuid(0xFB803D0D, 0xEC2B);
const IID IID_CameraManager = MakerGuid(0xFB803D0C, 0xEC2B);
const IID IID_CameraCollection = MakerGuid(0xFB803D0F, 0xEC2B);
const IID IID_CameraItem = MakerGuid(0xD930B1A0, 0xEC33);
