// The side-by-side creation on POSIX, which has no side-by-side components: it answers what
// Windows answers when no component lies beside the program, the class not registered, and
// hands out no object whatever the caller's variable held.
#include "platform/SystemApi.h"

#include <gtest/gtest.h>

namespace {

// {FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}, the camera component's class.
const CLSID kCameraClass = {0xFB803D0D, 0xEC2B, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};

TEST(SideBySide, LeavesTheClassNotRegistered) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    platform::SideBySideStep step = platform::SideBySideStep::kCreation;
    LPVOID object = &step;  // stale
    EXPECT_EQ(platform::sys.CoCreateSideBySide(OLESTR("usbcamera\\usbcamera.dll"), kCameraClass, nullptr,
                                               CLSCTX_INPROC_SERVER, IID_IUnknown, &object, &step),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(step, platform::SideBySideStep::kUnsupported);
    CoUninitialize();
}

}  // namespace
