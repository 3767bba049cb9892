// Activation of the camera component: what is created and asked, that no status stops it
// with an error, and that a failed activation shows only at the manager's first use.
#include "camera/CameraCalls.h"

#include <gtest/gtest.h>

#include "platform/SystemApi.h"
#include "support/FakeComObject.h"
#include "support/FaultInjection.h"
#include "support/RaisedStatus.h"
#include "support/RowName.h"

namespace {

// What activation passed to CoCreateInstance, and what the replacement answers.
struct Creation {
    int calls = 0;
    CLSID clsid{};
    IUnknown* outer = nullptr;
    DWORD context = 0;
    IID iid{};
    HRESULT status = S_OK;            // the replacement's status ...
    FakeComObject* object = nullptr;  // ... and, on success, the object asked for `iid`
};
Creation creation;

HRESULT RecordingCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    ++creation.calls;
    creation.clsid = clsid;
    creation.outer = outer;
    creation.context = context;
    creation.iid = iid;
    *object = nullptr;
    if (FAILED(creation.status)) {
        return creation.status;
    }
    return creation.object->QueryInterface(iid, object);
}

// The real CoCreateInstance, for a class that nobody registers.
const CLSID kUnregisteredClass = {0x6B1C3E52, 0x0D3A, 0x4C7E, {0x9A, 0x51, 0x2F, 0x7D, 0x10, 0xC4, 0x88, 0x3B}};
HRESULT unregisteredStatus = S_OK;
HRESULT CreateUnregistered(REFCLSID, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    unregisteredStatus = platform::kSystemDefaults.CoCreateInstance(kUnregisteredClass, outer, context, iid, object);
    return unregisteredStatus;
}

void ExpectPointerErrorAtFirstUse(const InterfaceRef<CameraManager>& manager) {
    InterfaceRef<CameraCollection> collection;
    const Raised raised = RaisedBy([&] { camera::GetCameraCollection(manager, collection); });
    EXPECT_EQ(raised.status, E_POINTER);
    EXPECT_FALSE(raised.withErrorInfo);
}

struct ActivationCase {
    const char* name;
    HRESULT created;        // CoCreateInstance's status
    bool runnable;          // the object offers IRunnableObject ...
    HRESULT run;            // ... and Run answers this
    HRESULT managerAnswer;  // the object's answer for CameraManager
    bool active;            // the manager reference holds the object afterwards
};

void PrintTo(const ActivationCase& row, std::ostream* out) { *out << row.name; }

class Activation : public testing::TestWithParam<ActivationCase> {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        creation = Creation{};
    }
    void TearDown() override { CoUninitialize(); }
};

TEST_P(Activation, CreatesStartsAndAsksWithoutExaminingAnyStatus) {
    const ActivationCase& row = GetParam();
    FakeComObject object;
    object.Answer(IID_CameraManager, row.managerAnswer);
    if (row.runnable) {
        object.Answer(IID_IRunnableObject, S_OK);
        object.runStatus = row.run;
    }
    creation.status = row.created;
    creation.object = &object;
    FakeComObject previous;
    ScopedOverride<decltype(platform::sys.CoCreateInstance)> swap(&platform::SystemApi::CoCreateInstance,
                                                                  RecordingCreate);
    {
        previous.Answer(IID_CameraManager, S_OK);
        InterfaceRef<CameraManager> manager;
        manager = previous.Unknown();

        camera::ActivateCameraManager(manager);

        EXPECT_EQ(previous.Refs(), 1u) << "whatever the manager held is released first";
        ASSERT_EQ(creation.calls, 1);
        EXPECT_TRUE(IsEqualGUID(creation.clsid, CLSID_CameraAccessComponent));
        EXPECT_EQ(creation.outer, nullptr);
        EXPECT_EQ(creation.context, 7u) << "in-process server, in-process handler and local server";
        EXPECT_TRUE(IsEqualGUID(creation.iid, IID_IUnknown));
        EXPECT_EQ(object.runs, row.runnable && SUCCEEDED(row.created) ? 1 : 0);
        EXPECT_EQ(object.Asked(IID_CameraManager), SUCCEEDED(row.created) && SUCCEEDED(row.run) ? 1 : 0);
        EXPECT_EQ(manager.IsEmpty(), !row.active);
        EXPECT_EQ(object.Refs(), row.active ? 2u : 1u) << "the created reference is released";
        if (!row.active) {
            ExpectPointerErrorAtFirstUse(manager);
        }
    }
    EXPECT_EQ(object.Refs(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Activation,
    testing::Values(ActivationCase{"plain_object", S_OK, false, S_OK, S_OK, true},
                    ActivationCase{"started", S_OK, true, S_OK, S_OK, true},
                    ActivationCase{"not_registered", REGDB_E_CLASSNOTREG, false, S_OK, S_OK, false},
                    ActivationCase{"failing_to_run", S_OK, true, E_FAIL, S_OK, false},
                    ActivationCase{"refusing_the_manager", S_OK, false, S_OK, E_NOINTERFACE, false},
                    ActivationCase{"failing_the_manager_query", S_OK, false, S_OK, E_UNEXPECTED, false}),
    RowName<ActivationCase>);

TEST(ActivationOfUnregisteredClass, LeavesTheManagerEmptyWithoutError) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        ScopedOverride<decltype(platform::sys.CoCreateInstance)> swap(&platform::SystemApi::CoCreateInstance,
                                                                      CreateUnregistered);
        InterfaceRef<CameraManager> manager;
        camera::ActivateCameraManager(manager);
        EXPECT_EQ(unregisteredStatus, REGDB_E_CLASSNOTREG);
        EXPECT_TRUE(manager.IsEmpty());
        ExpectPointerErrorAtFirstUse(manager);
    }
    CoUninitialize();
}

}  // namespace
