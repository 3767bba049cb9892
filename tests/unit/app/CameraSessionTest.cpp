// The camera session through the real COM runtime against the simulated component
// (simcamera), registered for these tests: the walk that counts the cameras of a
// model, the selection, the presence check, where each injected fault ends the
// conversation, and every reference released.
#include "app/CameraSession.h"
#include "camera/CameraCalls.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>

#include "support/RaisedStatus.h"
#include "support/RowName.h"
#include "support/SimulatedComponent.h"

namespace {

using Units = std::basic_string<OLECHAR>;

const char kModel[] = "RQ5600 Zoom Digital Camera";
const HRESULT kDeviceGone = static_cast<HRESULT>(0x8007048Fu);

WideStringHandle Handle(const Units& units) {
    return WideStringHandle::Attach(SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
}

// What one conversation came to.
struct Conversation {
    std::string failedStep;  // open, walk, select or presence; empty when nothing was raised
    Raised raised;
    LONG matches = -1;
    LONG position = -1;  // the position of the last match
    std::string drive;   // the selected camera's drive folder, as its card's layout keeps it
};

// The utility's conversation with the session: activate, open, count the cameras of
// `model`, then (when `select`) select the last of them and, with a `presence` step, run
// it and check that the camera is still there.
template <class Presence>
Conversation Converse(const WideStringHandle& model, bool select, Presence presence) {
    Conversation result;
    TraceScope trace("Session");
    InterfaceRef<CameraManager> manager;
    camera::ActivateCameraManager(manager, trace);
    CameraSession session;
    ScopedVariant item;
    ScopedVariant index;
    const auto step = [&result](const char* name, auto&& call) {
        if (result.failedStep.empty()) {
            result.raised = RaisedBy(call);
            if (result.raised.status != S_OK) {
                result.failedStep = name;
            }
        }
    };
    step("open", [&] { session.Open(manager); });
    step("walk", [&] { result.matches = session.CountMatching(model, item, index, trace); });
    result.position = index.Value().vt == VT_I4 ? index.Value().lVal : -1;
    if (select) {
        TextString driveLetter;
        step("select", [&] { result.drive = session.Select(model, item, index, driveLetter).Drive(); });
        step("presence", [&] {
            presence();
            session.CheckPresent();
        });
    }
    return result;
}

Conversation Converse(const WideStringHandle& model = WideStringHandle(kModel)) {
    return Converse(model, true, [] {});
}

class SessionTest : public SimulatedComponentTest {
protected:
    void SetUp() override {
        SimulatedComponentTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        // Error information that nothing fetched stays with the thread until COM ends
        // there; drop it before counting.
        SetErrorInfo(0, nullptr);
        ExpectAllReleased();
        CoUninitialize();
    }

    // A camera section whose drive is a folder path as the program sees it.
    std::string Camera(const std::string& model, const std::string& drive, const std::string& extra = "") const {
        return "[camera]\nmodel = " + model + "\ndrive = " + Beside(drive) + "\n" + extra;
    }
};

// The walk compares whole names, code unit for code unit and over the string's full length.
TEST_F(SessionTest, WalkFindsTheCameraWhoseNameIsExactlyTheModel) {
    Play(Camera(kModel, "e/") + Camera("\"K\\xC3\\xBCche \\uD83D\\uDCF7 \\xFF\"", "f/") +
         Camera("null", "g/") + Camera("\"A\\0B\"", "h/"));
    const struct {
        const char* name;
        Units model;
        LONG matches;
        LONG position;
        const char* drive;
    } rows[] = {
        {"model", Units(OLESTR("RQ5600 Zoom Digital Camera")), 1, 0, "e/"},
        {"surrogates and U+FFFD", Units(OLESTR("K\u00FCche ")) + Units{0xD83D, 0xDCF7, 0x20, 0xFFFD}, 1, 1, "f/"},
        {"zero inside", Units(OLESTR("A\0B"), 3), 1, 3, "h/"},
        {"cut at the zero", Units(OLESTR("A")), 0, -1, nullptr},
        {"other case", Units(OLESTR("rq5600 zoom digital camera")), 0, -1, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Conversation result = Converse(Handle(row.model), row.matches == 1, [] {});
        EXPECT_EQ(result.failedStep, "") << std::hex << result.raised.status;
        EXPECT_EQ(result.matches, row.matches);
        EXPECT_EQ(result.position, row.position);
        if (row.drive != nullptr) {
            EXPECT_EQ(result.drive, Beside(row.drive));
        }
    }
    EXPECT_TRUE(Logged("GetCameraAt index=VT_I4:3 -> 0x00000000"));
}

TEST_F(SessionTest, NoCameraMeansResetWithoutNext) {
    Play("[component]\n");
    const Conversation result = Converse(WideStringHandle(kModel), false, [] {});
    EXPECT_EQ(result.failedStep, "");
    EXPECT_EQ(result.matches, 0);
    EXPECT_TRUE(Logged("Reset -> 0x00000000"));
    EXPECT_FALSE(Logged("Next")) << "no pass for a count of 0";
}

TEST_F(SessionTest, CameraUnpluggedAfterTheSelectionFailsThePresenceCheck) {
    const std::string marker = Beside("unplugged");
    std::remove(marker.c_str());
    Play("[component]\nunplugged_marker = " + marker + "\n[faults]\nGetModelName = 0x8007048F unplugged errorinfo\n" +
         Camera(kModel, "e/"));

    const Conversation result =
        Converse(WideStringHandle(kModel), true, [&marker] { std::ofstream(marker) << "gone"; });
    std::remove(marker.c_str());

    EXPECT_EQ(result.matches, 1);
    EXPECT_EQ(result.failedStep, "presence");
    EXPECT_EQ(result.raised.status, kDeviceGone);
    EXPECT_TRUE(result.raised.withErrorInfo);
}

// One injected fault, and where and how the conversation ends.
struct FaultCase {
    const char* name;
    const char* scenario;  // before two cameras of the model
    const char* step;      // the step that raises
    HRESULT status;
    bool errorInfo;
    const char* model = kModel;  // the model looked for
};

void PrintTo(const FaultCase& row, std::ostream* out) { *out << row.name; }

class SessionFault : public SessionTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(SessionFault, EndsTheConversationWhereTheComponentFails) {
    const FaultCase& row = GetParam();
    Play(std::string(row.scenario) + "\n" + Camera(kModel, "e/") + Camera(kModel, "f/"));

    const Conversation result = Converse(WideStringHandle(row.model));

    EXPECT_EQ(result.failedStep, row.step);
    EXPECT_EQ(result.raised.status, row.status) << std::hex << result.raised.status;
    EXPECT_EQ(result.raised.withErrorInfo, row.errorInfo);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SessionFault,
    testing::Values(
        FaultCase{"none", "", "", S_OK, false},
        FaultCase{"success_other_than_S_OK", "[faults]\nGetCameraCount = 1\nGetModelName = 1", "", S_OK, false},
        FaultCase{"creation_fails", "[faults]\nCreateInstance = 0x80004005", "open", E_POINTER, false},
        FaultCase{"failing_to_run", "[faults]\nRun = 0x80004005", "open", E_POINTER, false},
        FaultCase{"manager_refused", "[faults]\nQueryInterface.CameraManager = 0x80004002", "open", E_POINTER,
                  false},
        FaultCase{"manager_query_fails", "[faults]\nQueryInterface.CameraManager = 0x8000FFFF", "open", E_POINTER,
                  false},
        FaultCase{"collection_fails_with_info", "[faults]\nGetCameraCollection = 0x80004005 errorinfo", "open",
                  E_FAIL, true},
        FaultCase{"collection_fails_without_info", "[faults]\nGetCameraCollection = 0x80004005", "open", E_FAIL,
                  false},
        FaultCase{"no_collection", "[faults]\nGetCameraCollection = null", "open", E_POINTER, false},
        FaultCase{"enumerator_fails", "[faults]\nGetCameraEnumerator = 0x8000FFFF errorinfo", "open", E_UNEXPECTED,
                  true},
        FaultCase{"no_enumerator", "[faults]\nGetCameraEnumerator = null", "walk", E_POINTER, false},
        FaultCase{"enumerator_without_IEnumVARIANT", "[faults]\nQueryInterface.IEnumVARIANT = 0x80004002", "walk",
                  E_POINTER, false},
        FaultCase{"enumerator_query_fails", "[faults]\nQueryInterface.IEnumVARIANT = 0x8000FFFF", "open",
                  E_UNEXPECTED, false},
        FaultCase{"count_fails_later", "[faults]\nGetCameraCount = 0x8007048F from 2 errorinfo", "walk",
                  kDeviceGone, true},
        FaultCase{"count_beyond_the_list", "[component]\ncount = 3", "walk", E_POINTER, false},
        FaultCase{"name_fails_later", "[faults]\nGetModelName = 0x8007048F, from 2", "walk", kDeviceGone, false},
        FaultCase{"selection_fails", "[faults]\nGetCameraAt = 0x80004005 errorinfo", "select", E_FAIL, true},
        FaultCase{"nothing_selected", "[faults]\nGetCameraAt = null", "select", E_POINTER, false},
        FaultCase{"selected_name_fails", "[faults]\nGetModelName = 0x8007048F from 3 errorinfo", "select",
                  kDeviceGone, true},
        FaultCase{"list_changed_before_the_selection", "[component]\nat_offset = 1\n[camera]\nmodel = X", "select",
                  E_UNEXPECTED, false, "X"},
        FaultCase{"path_fails", "[faults]\nGetDrivePath = 0x80004005 errorinfo", "select", E_FAIL, true},
        FaultCase{"component_without_error_info_support",
                  "[component]\nerror_info = no\n[faults]\nGetDrivePath = 0x80004005 errorinfo", "select", E_FAIL,
                  false},
        FaultCase{"presence_fails", "[faults]\nGetModelName = 0x8007048F from 4", "presence", kDeviceGone, false}),
    RowName<FaultCase>);

// Items that are no camera, at the first place of the list: enumerated or selected.
INSTANTIATE_TEST_SUITE_P(
    NoCamera, SessionFault,
    testing::Values(FaultCase{"enumerated_object", "[camera]\nmodel = X\nitem = nocamera", "walk", E_POINTER, false},
                    FaultCase{"enumerated_empty", "[camera]\nmodel = X\nitem = empty", "walk", E_POINTER, false},
                    FaultCase{"unknown_tag_is_still_a_camera", "[camera]\nmodel = X\nvt = unknown", "", S_OK, false},
                    FaultCase{"selected_object", "[camera]\nmodel = X\nselected = nocamera", "select", E_POINTER,
                              false, "X"}),
    RowName<FaultCase>);

}  // namespace
