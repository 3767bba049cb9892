// Activation of the camera component: what is created and asked, that no status stops it
// with an error, and that a failed activation shows only at the manager's first use; the
// component beside the program is asked only when the registry knows no server, and the
// trace says how that went.
#include "camera/CameraCalls.h"

#include <gtest/gtest.h>

#include "platform/SystemApi.h"
#include "support/FakeComObject.h"
#include "support/FaultInjection.h"
#include "support/RaisedStatus.h"
#include "support/RowName.h"
#include "support/TraceCapture.h"

#include <string>
#include <vector>

namespace {

// What activation passed to a creation, and what the replacement answers.
struct Creation {
    int calls = 0;
    std::u16string component;  // side by side only: the component's path beside the program
    CLSID clsid{};
    IUnknown* outer = nullptr;
    DWORD context = 0;
    IID iid{};
    HRESULT status = S_OK;            // the replacement's status ...
    FakeComObject* object = nullptr;  // ... and, on success, the object asked for `iid`
    platform::SideBySideStep step = platform::SideBySideStep::kCreation;  // side by side only

    HRESULT Answer(REFCLSID asked, LPUNKNOWN outerObject, DWORD contextAsked, REFIID riid, LPVOID* result) {
        ++calls;
        clsid = asked;
        outer = outerObject;
        context = contextAsked;
        iid = riid;
        *result = nullptr;
        if (FAILED(status)) {
            return status;
        }
        return object->QueryInterface(riid, result);
    }
};
Creation registry;     // CoCreateInstance: the registry's server
Creation sideBySide;   // CoCreateSideBySide: the component beside the program

HRESULT RecordingCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
    return registry.Answer(clsid, outer, context, iid, object);
}

HRESULT RecordingSideBySide(LPCWSTR component, REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                            LPVOID* object, platform::SideBySideStep* step) {
    sideBySide.component.clear();
    for (const WCHAR* c = component; *c != 0; ++c) {
        sideBySide.component.push_back(static_cast<char16_t>(*c));
    }
    *step = sideBySide.step;
    return sideBySide.Answer(clsid, outer, context, iid, object);
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

void ExpectAskedForTheComponent(const Creation& asked) {
    EXPECT_TRUE(IsEqualGUID(asked.clsid, CLSID_CameraAccessComponent));
    EXPECT_EQ(asked.outer, nullptr);
    EXPECT_EQ(asked.context, 7u) << "in-process server, in-process handler and local server";
    EXPECT_TRUE(IsEqualGUID(asked.iid, IID_IUnknown));
}

// The replacements of both creations for one test.
class ReplacedCreations {
public:
    ReplacedCreations() {
        registry = Creation{};
        sideBySide = Creation{};
    }

private:
    ScopedOverride<decltype(platform::sys.CoCreateInstance)> registry_{&platform::SystemApi::CoCreateInstance,
                                                                       RecordingCreate};
    ScopedOverride<decltype(platform::sys.CoCreateSideBySide)> sideBySide_{&platform::SystemApi::CoCreateSideBySide,
                                                                           RecordingSideBySide};
};

// Where the object comes from: the registry's server, or, once the registry knows no
// server (REGDB_E_CLASSNOTREG), the component beside the program.
struct ActivationCase {
    const char* name;
    HRESULT created;        // CoCreateInstance's status
    HRESULT besides;        // CoCreateSideBySide's status, when it is asked
    bool runnable;          // the object offers IRunnableObject ...
    HRESULT run;            // ... and Run answers this
    HRESULT managerAnswer;  // the object's answer for CameraManager
    bool active;            // the manager reference holds the object afterwards
};

void PrintTo(const ActivationCase& row, std::ostream* out) { *out << row.name; }

class Activation : public testing::TestWithParam<ActivationCase> {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
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
    const ReplacedCreations replaced;
    registry.status = row.created;
    registry.object = &object;
    sideBySide.status = row.besides;
    sideBySide.object = &object;
    const bool askedBeside = row.created == REGDB_E_CLASSNOTREG;
    const HRESULT creation = askedBeside ? row.besides : row.created;
    FakeComObject previous;
    {
        previous.Answer(IID_CameraManager, S_OK);
        InterfaceRef<CameraManager> manager;
        manager = previous.Unknown();
        TraceScope trace("Activation");

        camera::ActivateCameraManager(manager, trace);

        EXPECT_EQ(previous.Refs(), 1u) << "whatever the manager held is released first";
        ASSERT_EQ(registry.calls, 1);
        ExpectAskedForTheComponent(registry);
        ASSERT_EQ(sideBySide.calls, askedBeside ? 1 : 0) << "side by side only when no server is registered";
        if (askedBeside) {
            ExpectAskedForTheComponent(sideBySide);
            EXPECT_EQ(sideBySide.component, u"usbcamera\\usbcamera.dll");
        }
        EXPECT_EQ(object.runs, row.runnable && SUCCEEDED(creation) ? 1 : 0);
        EXPECT_EQ(object.Asked(IID_CameraManager), SUCCEEDED(creation) && SUCCEEDED(row.run) ? 1 : 0);
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
    testing::Values(
        ActivationCase{"plain_object", S_OK, S_OK, false, S_OK, S_OK, true},
        ActivationCase{"started", S_OK, S_OK, true, S_OK, S_OK, true},
        ActivationCase{"failing_to_run", S_OK, S_OK, true, E_FAIL, S_OK, false},
        ActivationCase{"refusing_the_manager", S_OK, S_OK, false, S_OK, E_NOINTERFACE, false},
        ActivationCase{"failing_the_manager_query", S_OK, S_OK, false, S_OK, E_UNEXPECTED, false},
        // A registered server that fails is never passed over for the one beside the program.
        ActivationCase{"registered_server_not_loading", E_ACCESSDENIED, S_OK, false, S_OK, S_OK, false},
        ActivationCase{"registered_server_missing", CO_E_DLLNOTFOUND, S_OK, false, S_OK, S_OK, false},
        // Nothing registered: whatever the component beside the program gives goes on as before.
        ActivationCase{"beside_the_program", REGDB_E_CLASSNOTREG, S_OK, true, S_OK, S_OK, true},
        ActivationCase{"beside_the_program_failing_to_run", REGDB_E_CLASSNOTREG, S_OK, true, E_FAIL, S_OK, false},
        ActivationCase{"nothing_beside_the_program", REGDB_E_CLASSNOTREG, REGDB_E_CLASSNOTREG, false, S_OK, S_OK,
                       false},
        ActivationCase{"component_beside_the_program_not_loading", REGDB_E_CLASSNOTREG, E_ACCESSDENIED, false, S_OK,
                       S_OK, false}),
    RowName<ActivationCase>);

// What the trace says of the side-by-side creation, with TraceProgress set.
struct TraceCase {
    const char* name;
    HRESULT created;
    HRESULT besides;
    platform::SideBySideStep step;
    const char* line;  // the one line expected; null: none
};

void PrintTo(const TraceCase& row, std::ostream* out) { *out << row.name; }

class ActivationTrace : public testing::TestWithParam<TraceCase> {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_P(ActivationTrace, SaysWhyTheComponentBesideTheProgramServesOrNot) {
    const TraceCase& row = GetParam();
    FakeComObject object;
    object.Answer(IID_CameraManager, S_OK);
    const ReplacedCreations replaced;
    registry.status = row.created;
    registry.object = &object;
    sideBySide.status = row.besides;
    sideBySide.object = &object;
    sideBySide.step = row.step;
    CapturingTraceSink sink;
    for (const DWORD flags : {DWORD{0}, TraceProgress}) {
        sink.lines.clear();
        {
            const ScopedTraceFlags traced(flags);
            TraceScope trace("Activation");
            InterfaceRef<CameraManager> manager;
            camera::ActivateCameraManager(manager, trace);
        }
        if (flags == 0 || row.line == nullptr) {
            EXPECT_TRUE(sink.lines.empty()) << "flags " << flags << ": " << testing::PrintToString(sink.lines);
        } else {
            EXPECT_EQ(sink.lines, std::vector<std::string>{row.line});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ActivationTrace,
    testing::Values(
        TraceCase{"registered", S_OK, S_OK, platform::SideBySideStep::kCreation, nullptr},
        TraceCase{"registered_failing", E_ACCESSDENIED, S_OK, platform::SideBySideStep::kCreation, nullptr},
        TraceCase{"created_beside", REGDB_E_CLASSNOTREG, S_OK, platform::SideBySideStep::kCreation,
                  "Activation: No camera component registered: created the one beside the program "
                  "(usbcamera\\usbcamera.dll).\n"},
        TraceCase{"no_side_by_side", REGDB_E_CLASSNOTREG, REGDB_E_CLASSNOTREG, platform::SideBySideStep::kUnsupported,
                  "Activation: No camera component registered, and none beside the program (usbcamera\\usbcamera.dll): "
                  "this system has no side-by-side components (0x80040154).\n"},
        TraceCase{"no_folder", REGDB_E_CLASSNOTREG, static_cast<HRESULT>(0x80070003u),
                  platform::SideBySideStep::kContext,
                  "Activation: No camera component registered, and none beside the program (usbcamera\\usbcamera.dll): "
                  "no activation context from its manifest (no folder or file, not a DLL, or no manifest) "
                  "(0x80070003).\n"},
        TraceCase{"not_loading", REGDB_E_CLASSNOTREG, E_ACCESSDENIED, platform::SideBySideStep::kCreation,
                  "Activation: No camera component registered, and none beside the program (usbcamera\\usbcamera.dll): "
                  "its creation failed (0x80070005).\n"}),
    RowName<TraceCase>);

TEST(ActivationOfUnregisteredClass, LeavesTheManagerEmptyWithoutError) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        // The real side-by-side creation too: no component lies beside the test program.
        ScopedOverride<decltype(platform::sys.CoCreateInstance)> swap(&platform::SystemApi::CoCreateInstance,
                                                                      CreateUnregistered);
        TraceScope trace("Activation");
        InterfaceRef<CameraManager> manager;
        camera::ActivateCameraManager(manager, trace);
        EXPECT_EQ(unregisteredStatus, REGDB_E_CLASSNOTREG);
        EXPECT_TRUE(manager.IsEmpty());
        ExpectPointerErrorAtFirstUse(manager);
    }
    CoUninitialize();
}

}  // namespace
