// The camera's string operations: what the returned handle holds, and that a failure
// to wrap the string raises E_OUTOFMEMORY without losing it.
#include "camera/CameraCalls.h"

#include <gtest/gtest.h>

#include "platform/SystemApi.h"
#include "support/FakeComObject.h"
#include "support/FaultInjection.h"
#include "support/RaisedStatus.h"

namespace {

class CameraStrings : public testing::Test {
protected:
    void SetUp() override { camera = object.Unknown(); }

    FakeComObject object;
    InterfaceRef<CameraItem> camera;
};

TEST_F(CameraStrings, HandleTakesOverTheStringWithItsLength) {
    object.itemText = OLESTR("E:\\");
    const WideStringHandle path = camera::GetDrivePath(camera);
    ASSERT_NE(path.Wide(), nullptr);
    EXPECT_EQ(path.Length(), 3u);
    EXPECT_EQ(path, WideStringHandle(OLESTR("E:\\")));
}

TEST_F(CameraStrings, NullStringGivesAHandleWithoutText) {
    object.itemText = nullptr;
    const WideStringHandle name = camera::GetModelName(camera);
    EXPECT_FALSE(name.IsEmpty());
    EXPECT_EQ(name.Wide(), nullptr);
    EXPECT_EQ(name, WideStringHandle(static_cast<const char*>(nullptr)));
}

TEST_F(CameraStrings, SuccessOtherThanSOkCounts) {
    object.itemStatus = S_FALSE;
    object.itemText = OLESTR("RQ5600");
    EXPECT_EQ(camera::GetModelName(camera).Length(), 6u);
}

TEST_F(CameraStrings, FailureRaisesTheStatus) {
    object.itemStatus = E_ACCESSDENIED;
    EXPECT_EQ(RaisedStatus([&] { camera::GetModelName(camera); }), E_ACCESSDENIED);
}

TEST_F(CameraStrings, HandleThatCannotBeMadeRaisesOutOfMemoryAndFreesTheString) {
    object.itemText = OLESTR("RQ5600 Zoom Digital Camera");
    FailingCall<&platform::SystemApi::HeapAlloc> noHeap(1, nullptr);
    const Raised raised = RaisedBy([&] { camera::GetModelName(camera); });
    EXPECT_EQ(raised.status, E_OUTOFMEMORY);
    EXPECT_FALSE(raised.withErrorInfo);
    EXPECT_EQ(noHeap.Calls(), 1);
    // The string itself is freed: the sanitizer and valgrind builds would report it otherwise.
}

TEST_F(CameraStrings, EmptyCameraRaisesPointerError) {
    camera.Reset();
    EXPECT_EQ(RaisedStatus([&] { camera::GetDrivePath(camera); }), E_POINTER);
}

}  // namespace
