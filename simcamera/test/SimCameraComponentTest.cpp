// The simulated component through the COM runtime, called through its own declarations
// the way any client would: what a scenario makes it hand out, how it fails, and what it
// writes to its log.
#include "cameraserver/ServerInterfaces.h"
#include "com/InterfaceRef.h"
#include "com/ScopedVariant.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

#include "support/CameraClient.h"
#include "support/CountingErrorInfo.h"
#include "support/RowName.h"
#include "support/SimulatedComponent.h"

namespace {

using camera_client::CameraAt;
using camera_client::OpenCollection;

using Units = std::basic_string<OLECHAR>;

const HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
const HRESULT kTypeMismatch = static_cast<HRESULT>(0x80020005u);
using camera_client::kDeviceGone;

class Component : public SimulatedComponentTest {
protected:
    void SetUp() override {
        SimulatedComponentTest::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override { CoUninitialize(); }

    static HRESULT Create(InterfaceRef<CameraManager>& manager) {
        return CoCreateInstance(cameraserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, cameraserver::kManagerId,
                                reinterpret_cast<void**>(manager.Put()));
    }

};

// The text of a BSTR, taken over: its whole length, or `absent` for a null one.
struct Taken {
    bool absent = true;
    Units units;
    explicit Taken(BSTR text) {
        if (text != nullptr) {
            absent = false;
            units.assign(text, SysStringLen(text));
            SysFreeString(text);
        }
    }
};

TEST_F(Component, ScenarioThatCannotBeParsedRefusesCreationAndSaysWhy) {
    Play("[camera]\nmodel = \"unterminated\n");
    InterfaceRef<CameraManager> manager;
    EXPECT_EQ(Create(manager), E_INVALIDARG);
    EXPECT_EQ(manager.Get(), nullptr);
    EXPECT_TRUE(Logged("line 2: missing closing quote"));
    ExpectAllReleased();
}

TEST_F(Component, ScenarioThatCannotBeReadRefusesCreation) {
    Play("[component]\n");
    ASSERT_EQ(std::remove(Beside("scenario.ini").c_str()), 0);
    InterfaceRef<CameraManager> manager;
    EXPECT_EQ(Create(manager), kFileNotFound);
    EXPECT_TRUE(Logged("error scenario="));
    ExpectAllReleased();
}

// The scenario's texts reach the caller whole, as BSTRs of their full length, and the log
// shows them escaped.
TEST_F(Component, ReportedTextsReachTheCallerWholeAndTheLogEscaped) {
    Play("[camera]\nmodel = \"K\\xC3\\xBCche \\uD83D\\uDCF7 \\xFF\"\ndrive = null\n"
         "[camera]\nmodel = \"A\\0B\"\ndrive = \"H:\\\\cards\\\\\"\n");
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    struct {
        LONG position;
        Taken name;
        Taken drive;
    } expected[] = {
        {0, Taken(SysAllocStringLen((Units(OLESTR("K\u00FCche ")) + Units{0xD83D, 0xDCF7, 0x20, 0xFFFD}).c_str(), 10)),
         Taken(nullptr)},
        {1, Taken(SysAllocStringLen(OLESTR("A\0B"), 3)), Taken(SysAllocString(OLESTR("H:\\cards\\")))},
    };
    for (const auto& row : expected) {
        SCOPED_TRACE(row.position);
        InterfaceRef<CameraItem> camera;
        CameraAt(collection, row.position, camera);
        BSTR name = nullptr;
        BSTR drive = nullptr;
        ASSERT_EQ(camera->GetModelName(&name), S_OK);
        ASSERT_EQ(camera->GetDrivePath(&drive), S_OK);
        const Taken gotName(name);
        const Taken gotDrive(drive);
        EXPECT_EQ(gotName.absent, row.name.absent);
        EXPECT_EQ(gotName.units, row.name.units);
        EXPECT_EQ(gotDrive.absent, row.drive.absent);
        EXPECT_EQ(gotDrive.units, row.drive.units);
    }
    collection.Reset();
    EXPECT_TRUE(Logged("GetModelName -> 0x00000000 name=\"K\\u00FCche \\uD83D\\uDCF7 \\uFFFD\""));
    EXPECT_TRUE(Logged("GetDrivePath -> 0x00000000 path=null"));
    EXPECT_TRUE(Logged("GetModelName -> 0x00000000 name=\"A\\u0000B\""));
    EXPECT_TRUE(Logged("GetDrivePath -> 0x00000000 path=\"H:\\\\cards\\\\\""));
    ExpectAllReleased();
}

TEST_F(Component, SelectionTakesANumberInsideTheList) {
    Play("[camera]\nmodel = X\n");
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    const struct {
        ScopedVariant index;
        HRESULT status;
        const char* logged;
    } rows[] = {
        {ScopedVariant(LONG{0}), S_OK, "GetCameraAt index=VT_I4:0 -> 0x00000000 camera=VT_DISPATCH:Camera#"},
        {ScopedVariant(LONG{1}), DISP_E_BADINDEX, "GetCameraAt index=VT_I4:1 -> 0x8002000B"},
        {ScopedVariant(LONG{-1}), DISP_E_BADINDEX, "GetCameraAt index=VT_I4:-1 -> 0x8002000B"},
        {ScopedVariant(), kTypeMismatch, "GetCameraAt index=VT_0 -> 0x80020005"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.logged);
        ScopedVariant camera;
        EXPECT_EQ(collection->GetCameraAt(row.index.Value(), camera.Receive()), row.status);
        EXPECT_EQ(camera.Value().vt, row.status == S_OK ? VT_DISPATCH : VT_EMPTY);
        EXPECT_TRUE(Logged(row.logged));
    }
    collection.Reset();
    ExpectAllReleased();
}

// A fault from its n-th call on, with or without error information of its own; without,
// the camera clears what the thread held before.
TEST_F(Component, FaultsStartAtTheirCallAndCarryErrorInformationWhenAsked) {
    for (const bool withInfo : {true, false}) {
        SCOPED_TRACE(withInfo ? "errorinfo" : "without");
        Play(std::string("[faults]\nGetModelName = 0x8007048F from 2") + (withInfo ? " errorinfo" : "") +
             "\n[camera]\nmodel = X\n");
        InterfaceRef<CameraCollection> collection;
        OpenCollection(collection);
        InterfaceRef<CameraItem> camera;
        CameraAt(collection, 0, camera);
        BSTR name = nullptr;
        ASSERT_EQ(camera->GetModelName(&name), S_OK);
        EXPECT_FALSE(Taken(name).absent);

        CountingErrorInfo stale(1, 1);
        SetErrorInfo(0, &stale);
        name = nullptr;
        EXPECT_EQ(camera->GetModelName(&name), kDeviceGone);
        EXPECT_EQ(name, nullptr);

        InterfaceRef<IErrorInfo> info;
        EXPECT_EQ(GetErrorInfo(0, info.Put()), withInfo ? S_OK : S_FALSE);
        if (withInfo) {
            ASSERT_NE(info.Get(), nullptr);
            BSTR description = nullptr;
            ASSERT_EQ(info->GetDescription(&description), S_OK);
            const Units expected(OLESTR("GetModelName failed with 0x8007048F"));
            EXPECT_EQ(Taken(description).units, expected);
        }
        info.Reset();
        camera.Reset();
        collection.Reset();
        ExpectAllReleased();
        ClearLog();
    }
}

// What the enumerator hands out at a place whose item is no camera, and how the log
// names it.
struct ItemRow {
    const char* name;
    const char* item;
    VARTYPE type;
    const char* logged;
};

void PrintTo(const ItemRow& row, std::ostream* out) { *out << row.name; }

class ComponentItem : public Component, public testing::WithParamInterface<ItemRow> {};

TEST_P(ComponentItem, IsHandedOutAndLoggedByItsType) {
    Play(std::string("[camera]\nmodel = \"X\\u00E9\"\nitem = ") + GetParam().item + "\n");
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    InterfaceRef<IUnknown> object;
    ASSERT_EQ(collection->GetCameraEnumerator(object.Put()), S_OK);
    InterfaceRef<IEnumVARIANT> enumerator;
    ASSERT_EQ(enumerator.Query(object.Get()), S_OK);
    ScopedVariant item;
    ASSERT_EQ(enumerator->Next(1, item.Receive(), nullptr), S_OK);
    EXPECT_EQ(item.Value().vt, GetParam().type);
    EXPECT_TRUE(Logged(std::string("Next count=1 fetched=null -> 0x00000000 item=") + GetParam().logged));
    item.Reset();
    enumerator.Reset();
    object.Reset();
    collection.Reset();
    ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ComponentItem,
    testing::Values(ItemRow{"camera", "camera", VT_DISPATCH, "VT_DISPATCH:Camera#"},
                    ItemRow{"nocamera", "nocamera", VT_DISPATCH, "VT_DISPATCH:Item#"},
                    ItemRow{"empty", "empty", VT_EMPTY, "VT_EMPTY"},
                    ItemRow{"bstr", "bstr", VT_BSTR, "VT_BSTR:\"X\\u00E9\""},
                    ItemRow{"i4", "i4", VT_I4, "VT_I4:195948557"},
                    ItemRow{"byref", "byref", static_cast<VARTYPE>(VT_BYREF | VT_DISPATCH), "VT_BYREF|VT_DISPATCH:null"}),
    RowName<ItemRow>);

}  // namespace
