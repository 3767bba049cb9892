// The camera conversation through the real COM runtime against the simulated component
// (tools/simcamera), registered for these tests: activation, the walk of the cameras, the
// selection, every injected fault, and every reference released, read from the
// component's log.
#include "camera/CameraCalls.h"
#include "camera/ScopedVariant.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/RowName.h"
#include "support/SimulatedComponent.h"

namespace {

using Units = std::basic_string<OLECHAR>;

// A reported text as the test sees it; `absent` for a null string.
struct Text {
    bool absent = true;
    Units units;

    static Text Of(const WideStringHandle& handle) {
        Text text;
        text.absent = handle.Wide() == nullptr;
        if (!text.absent) {
            text.units.assign(handle.Wide(), handle.Length());
        }
        return text;
    }
    bool operator==(const Text& other) const { return absent == other.absent && units == other.units; }
};

Text Present(const Units& units) { return Text{false, units}; }

void PrintTo(const Text& text, std::ostream* out) {
    if (text.absent) {
        *out << "(null)";
        return;
    }
    for (const OLECHAR unit : text.units) {
        *out << (unit >= 0x20 && unit < 0x7F ? std::string(1, static_cast<char>(unit))
                                              : "\\u" + std::to_string(static_cast<unsigned>(unit)));
    }
}

std::string Description(IErrorInfo* info) {
    BSTR text = nullptr;
    if (info == nullptr || FAILED(info->GetDescription(&text)) || text == nullptr) {
        return {};
    }
    std::string narrow;
    for (UINT i = 0; i < SysStringLen(text); ++i) {
        narrow += static_cast<char>(text[i]);
    }
    SysFreeString(text);
    return narrow;
}

// What one conversation with the component came to.
struct Conversation {
    std::string failedStep;  // empty when nothing was raised
    HRESULT status = S_OK;
    std::string errorDescription;  // the error information's description; empty without one
    std::vector<Text> names;       // the model names of the walk, in order
    Text selectedPath;
};

// The utility's conversation: activate, walk the cameras (count asked afresh before each
// pass), select the camera at `select`, read its name and drive path, and, with
// `presenceCheck`, ask its name once more after `beforePresenceCheck`.  References go in
// the order camera, enumerator, collection, then the manager.
template <class Between>
Conversation Converse(LONG select, bool presenceCheck, Between beforePresenceCheck) {
    Conversation result;
    ScopedVariant item;
    const ScopedVariant index(select);
    InterfaceRef<CameraManager> manager;
    camera::ActivateCameraManager(manager);
    {
        InterfaceRef<CameraCollection> collection;
        InterfaceRef<IEnumVARIANT> enumerator;
        InterfaceRef<CameraItem> camera;
        std::string step;
        try {
            step = "collection";
            camera::GetCameraCollection(manager, collection);
            step = "enumerator";
            camera::GetCameraEnumerator(collection, enumerator);
            step = "reset";
            camera::ResetEnumerator(enumerator);
            for (LONG position = 0;; ++position) {
                step = "count";
                if (position >= camera::GetCameraCount(collection)) {
                    break;
                }
                step = "next";
                camera::NextItem(enumerator, item.Receive());
                step = "item";
                camera::AssignCamera(camera, item.Value());
                step = "name";
                result.names.push_back(Text::Of(camera::GetModelName(camera)));
            }
            step = "at";
            ScopedVariant at;
            camera::GetCameraAt(collection, index.Value(), at.Receive());
            step = "copy";
            item.Set(at.Value());
            at.Reset();
            step = "selected";
            camera::AssignCamera(camera, item.Value());
            step = "selected name";
            camera::GetModelName(camera);
            step = "path";
            result.selectedPath = Text::Of(camera::GetDrivePath(camera));
            if (presenceCheck) {
                beforePresenceCheck();
                step = "presence";
                camera::GetModelName(camera);
            }
            item.Reset();
        } catch (const _com_error& e) {
            result.failedStep = step;
            result.status = e.Error();
            result.errorDescription = Description(e.ErrorInfo());
        }
    }
    return result;
}

Conversation Converse(LONG select = 0) {
    return Converse(select, false, [] {});
}

class SimulatedComponent : public SimulatedComponentTest {
protected:
    void SetUp() override {
        SimulatedComponentTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override { CoUninitialize(); }
};

const char* const kFourCameras = R"([camera]
model = RQ5600 Zoom Digital Camera
drive = E:\
[camera]
model = "K\xC3\xBCche \u00E9\uD83D\uDCF7 \xFF end "
drive = F:\
[camera]
model = null
drive = G:\
item = camera
[camera]
model = "A\0B"
drive = "H:\\cards\\"
)";

TEST_F(SimulatedComponent, WalkReportsEveryCameraAsDescribed) {
    Play(kFourCameras);
    const Conversation result = Converse(3);

    ASSERT_EQ(result.failedStep, "") << "status " << std::hex << result.status;
    const std::vector<Text> expected = {
        Present(OLESTR("RQ5600 Zoom Digital Camera")),
        // UTF-8 bytes, a code unit escape, a surrogate pair, and a byte that is no UTF-8.
        Present(Units(OLESTR("K\u00FCche \u00E9")) + Units{0xD83D, 0xDCF7} + Units(OLESTR(" \uFFFD end "))),
        Text{},
        Present(Units(OLESTR("A\0B"), 3)),
    };
    EXPECT_EQ(result.names, expected);
    EXPECT_EQ(result.selectedPath, Present(OLESTR("H:\\cards\\")));
    EXPECT_TRUE(Logged("GetCameraAt index=VT_I4:3 -> 0x00000000"));
    ExpectAllReleased();
}

TEST_F(SimulatedComponent, NoCameraMeansResetWithoutNext) {
    Play("[component]\n");
    const Conversation result = Converse();

    EXPECT_TRUE(result.names.empty());
    const std::vector<std::string> calls = Calls();
    ASSERT_GE(calls.size(), 6u);
    const std::vector<std::string> walk(calls.begin(), calls.begin() + 6);
    const std::vector<std::string> expected = {"Factory CreateInstance", "Manager Run", "Manager GetCameraCollection",
                                               "Collection GetCameraEnumerator", "Enumerator Reset",
                                               "Collection GetCameraCount"};
    EXPECT_EQ(walk, expected);
    EXPECT_FALSE(Logged("Next")) << "no pass for a count of 0";
    EXPECT_EQ(result.failedStep, "at") << "position 0 is outside an empty list";
    EXPECT_EQ(result.status, DISP_E_BADINDEX);
    ExpectAllReleased();
}

TEST_F(SimulatedComponent, CameraUnpluggedAfterTheWalkFailsThePresenceCheck) {
    const std::string marker = Beside("unplugged");
    std::remove(marker.c_str());
    Play("[component]\nunplugged_marker = " + marker +
         "\n[faults]\nGetModelName = 0x8007048F unplugged errorinfo\n"
         "[camera]\nmodel = RQ5600 Zoom Digital Camera\ndrive = E:\\\n");

    const Conversation result = Converse(0, true, [&marker] { std::ofstream(marker) << "gone"; });
    std::remove(marker.c_str());

    EXPECT_EQ(result.names.size(), 1u);
    EXPECT_EQ(result.failedStep, "presence");
    EXPECT_EQ(result.status, static_cast<HRESULT>(0x8007048Fu));
    EXPECT_EQ(result.errorDescription, "GetModelName failed with 0x8007048F");
    ExpectAllReleased();
}

// One injected fault, and where and how the conversation ends.
struct FaultCase {
    const char* name;
    const char* scenario;  // added to two cameras of the model
    const char* step;      // the step that raises
    HRESULT status;
    bool errorInfo;
    LONG select = 1;  // the position selected after the walk
};

void PrintTo(const FaultCase& row, std::ostream* out) { *out << row.name; }

class SimulatedFault : public SimulatedComponent, public testing::WithParamInterface<FaultCase> {};

TEST_P(SimulatedFault, EndsTheConversationWhereTheComponentFails) {
    const FaultCase& row = GetParam();
    Play(std::string(row.scenario) +
         "\n[camera]\nmodel = RQ5600 Zoom Digital Camera\ndrive = E:\\\n"
         "[camera]\nmodel = RQ5600 Zoom Digital Camera\ndrive = F:\\\n");

    const Conversation result = Converse(row.select);

    EXPECT_EQ(result.failedStep, row.step);
    EXPECT_EQ(result.status, row.status) << std::hex << result.status;
    EXPECT_EQ(!result.errorDescription.empty(), row.errorInfo) << result.errorDescription;
    // Error information that the client had no reason to fetch stays with the thread until
    // COM ends there; drop it before counting.
    SetErrorInfo(0, nullptr);
    ExpectAllReleased();
}

const HRESULT kDeviceGone = static_cast<HRESULT>(0x8007048Fu);

INSTANTIATE_TEST_SUITE_P(
    Faults, SimulatedFault,
    testing::Values(
        FaultCase{"none", "", "", S_OK, false},
        FaultCase{"success_other_than_S_OK", "[faults]\nGetCameraCount = 1\nGetModelName = 1", "", S_OK, false},
        FaultCase{"creation_fails", "[faults]\nCreateInstance = 0x80004005", "collection", E_POINTER, false},
        FaultCase{"failing_to_run", "[faults]\nRun = 0x80004005", "collection", E_POINTER, false},
        FaultCase{"manager_refused", "[faults]\nQueryInterface.CameraManager = 0x80004002", "collection", E_POINTER,
                  false},
        FaultCase{"manager_query_fails", "[faults]\nQueryInterface.CameraManager = 0x8000FFFF", "collection",
                  E_POINTER, false},
        FaultCase{"collection_fails_with_info", "[faults]\nGetCameraCollection = 0x80004005 errorinfo", "collection",
                  E_FAIL, true},
        FaultCase{"collection_fails_without_info", "[faults]\nGetCameraCollection = 0x80004005", "collection",
                  E_FAIL, false},
        FaultCase{"no_collection", "[faults]\nGetCameraCollection = null", "enumerator", E_POINTER, false},
        FaultCase{"enumerator_fails", "[faults]\nGetCameraEnumerator = 0x8000FFFF errorinfo", "enumerator",
                  E_UNEXPECTED, true},
        FaultCase{"no_enumerator", "[faults]\nGetCameraEnumerator = null", "reset", E_POINTER, false},
        FaultCase{"enumerator_without_IEnumVARIANT", "[faults]\nQueryInterface.IEnumVARIANT = 0x80004002", "reset",
                  E_POINTER, false},
        FaultCase{"enumerator_query_fails", "[faults]\nQueryInterface.IEnumVARIANT = 0x8000FFFF", "enumerator",
                  E_UNEXPECTED, false},
        FaultCase{"count_fails_later", "[faults]\nGetCameraCount = 0x8007048F from 2 errorinfo", "count",
                  kDeviceGone, true},
        FaultCase{"count_beyond_the_list", "[component]\ncount = 3", "name", E_POINTER, false},
        FaultCase{"name_fails_later", "[faults]\nGetModelName = 0x8007048F, from 2", "name", kDeviceGone, false},
        FaultCase{"selection_fails", "[faults]\nGetCameraAt = 0x80004005 errorinfo", "at", E_FAIL, true},
        FaultCase{"nothing_selected", "[faults]\nGetCameraAt = null", "selected name", E_POINTER, false},
        FaultCase{"path_fails", "[faults]\nGetDrivePath = 0x80004005 errorinfo", "path", E_FAIL, true},
        FaultCase{"component_without_error_info_support",
                  "[component]\nerror_info = no\n[faults]\nGetDrivePath = 0x80004005 errorinfo", "path", E_FAIL,
                  false}),
    RowName<FaultCase>);

// Items that are no camera, at the first place of the list: enumerated or selected.
INSTANTIATE_TEST_SUITE_P(
    NoCamera, SimulatedFault,
    testing::Values(FaultCase{"enumerated_object", "[camera]\nmodel = X\nitem = nocamera", "name", E_POINTER, false},
                    FaultCase{"enumerated_empty", "[camera]\nmodel = X\nitem = empty", "name", E_POINTER, false},
                    FaultCase{"unknown_tag_is_still_a_camera", "[camera]\nmodel = X\nvt = unknown", "", S_OK, false},
                    FaultCase{"selected_object", "[camera]\nmodel = X\nselected = nocamera", "selected name",
                              E_POINTER, false, 0}),
    RowName<FaultCase>);

TEST_F(SimulatedComponent, ScenarioErrorsAreReportedAndRefuseCreation) {
    Play("[camera]\nmodel = \"unterminated\n");
    const Conversation result = Converse();

    EXPECT_EQ(result.failedStep, "collection");
    EXPECT_EQ(result.status, E_POINTER);
    EXPECT_TRUE(Logged("line 2: missing closing quote"));
    ExpectAllReleased();
}

}  // namespace
