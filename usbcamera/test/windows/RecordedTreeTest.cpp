// The Windows camera component's discovery over recorded device trees (trees/), through the
// COM runtime as the utility calls it, natively and under Wine.  Each test loads the test
// build of the component afresh, plays a tree, and checks the component's own account: every
// object it created destroyed (its log), and none left when asked before it is unloaded.
#include "support/CameraClient.h"
#include "usbcamera/test/windows/LoadedComponent.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/ComponentLog.h"
#include "support/RowName.h"

namespace {

using namespace camera_client;

// Stands for the model name the build gives the id table.
const char kModel[] = "<model>";
// The drive path of a card without a drive letter, on the drive the recorded system runs
// from, or on C: where the recording does not say.
const char kNoCard[] = "C:\\<no card>\\";
const char kNoCardOnD[] = "D:\\<no card>\\";

class RecordedTree : public ComponentLogTest {
protected:
    RecordedTree() : ComponentLogTest("USBCAMERA_LOG") {}

    void SetUp() override {
        ComponentLogTest::SetUp();
        trees_ = Environment("USBCAMERA_TEST_TREES");
        treeFile_ = Environment("USBCAMERA_DEVICE_TREE");
        model_ = Environment("USBCAMERA_TEST_MODEL");
        const std::string component = Environment("USBCAMERA_TEST_COMPONENT");
        ASSERT_FALSE(trees_.empty() || treeFile_.empty() || model_.empty() || component.empty())
            << "USBCAMERA_TEST_TREES, USBCAMERA_DEVICE_TREE, USBCAMERA_TEST_MODEL and USBCAMERA_TEST_COMPONENT come "
               "from the test's CTest entry";
        WriteTree("");
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        component_ = std::make_unique<LoadedComponent>(component);
        ASSERT_TRUE(component_->Loaded()) << component;
    }

    void TearDown() override {
        if (component_ != nullptr && component_->Loaded()) {
            SetErrorInfo(0, nullptr);  // the error information a failed call left with the thread
            EXPECT_EQ(component_->Unload(), S_OK) << "the component has objects or locks left";
            EXPECT_TRUE(Logged("canunload live=0 locks=0 -> 0x00000000"));
        }
        component_.reset();
        CoUninitialize();
        ExpectAllReleased();
    }

    // Makes trees/<name>.tree the system the component sees from its next call on.
    void Play(const std::string& name) const {
        std::ifstream recorded(trees_ + "/" + name + ".tree", std::ios::binary);
        ASSERT_TRUE(recorded.good()) << name;
        std::ostringstream text;
        text << recorded.rdbuf();
        WriteTree(text.str());
    }

    std::string Tree() const {
        std::ifstream file(treeFile_, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    void WriteTree(const std::string& text) const {
        std::ofstream file(treeFile_, std::ios::binary | std::ios::trunc);
        file << text;
        ASSERT_TRUE(file.good());
    }

    // The tree without the lines of these nodes: the devices unplugged.
    void Unplug(const std::vector<std::string>& nodes) const {
        std::istringstream lines(Tree());
        std::string kept;
        for (std::string line; std::getline(lines, line);) {
            bool gone = false;
            for (const std::string& node : nodes) {
                gone = gone || line.rfind("device " + node + " ", 0) == 0;
            }
            if (!gone) {
                kept += line + "\n";
            }
        }
        WriteTree(kept);
    }

    // `expected` with the stand-in replaced.
    std::vector<std::string> Resolved(std::vector<std::string> expected) const {
        for (std::string& text : expected) {
            text = text == kModel ? model_ : text;
        }
        return expected;
    }

    std::string trees_;
    std::string treeFile_;
    std::string model_;
    std::unique_ptr<LoadedComponent> component_;
};

struct TreeRow {
    const char* name;
    const char* tree;
    std::vector<std::string> models;  // in the enumerator's order
    std::vector<std::string> drives;  // the drive path of each, in the same order
};

void PrintTo(const TreeRow& row, std::ostream* out) { *out << row.name; }

class RecordedTrees : public RecordedTree, public testing::WithParamInterface<TreeRow> {};

TEST_P(RecordedTrees, ReportEachCameraWithItsModelAndCard) {
    Play(GetParam().tree);
    EXPECT_EQ(Models(), Resolved(GetParam().models));
    std::vector<std::string> drives;
    for (std::size_t i = 0; i < GetParam().drives.size(); ++i) {
        drives.push_back(DrivePath(static_cast<LONG>(i)));
    }
    EXPECT_EQ(drives, Resolved(GetParam().drives));
}

INSTANTIATE_TEST_SUITE_P(
    Trees, RecordedTrees,
    testing::Values(
        TreeRow{"one_camera_with_a_partitioned_card", "partitioned", {kModel}, {"E:\\"}},
        TreeRow{"card_without_partition_table_on_the_second_disk", "whole-disk", {kModel}, {"E:\\"}},
        TreeRow{"empty_card_slot", "no-medium", {kModel}, {kNoCard}},
        TreeRow{"two_cameras_one_composite", "two-cameras", {kModel, kModel}, {"E:\\", "F:\\"}},
        TreeRow{"memory_stick_and_internal_disk_beside_the_camera", "camera-and-stick", {"USB Flash Disk", kModel},
                {"F:\\", "E:\\"}},
        TreeRow{"unknown_id_named_by_its_disk", "unknown-id", {"QUELDA RQ5600 USB Device"}, {"E:\\"}},
        TreeRow{"volume_without_a_drive_letter", "no-drive-letter", {kModel}, {kNoCardOnD}}),
    RowName<TreeRow>);

// Unplugged after the utility counted it: the camera's calls fail with error information,
// as the presence check expects, and a new count no longer has it.
TEST_F(RecordedTree, CameraUnpluggedBetweenTheCountAndTheDrivePathIsGone) {
    Play("partitioned");
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    ASSERT_NE(collection.Get(), nullptr);
    LONG count = 0;
    ASSERT_EQ(collection->GetCameraCount(&count), S_OK);
    ASSERT_EQ(count, 1);
    InterfaceRef<CameraItem> camera;
    CameraAt(collection, 0, camera);
    ASSERT_NE(camera.Get(), nullptr);
    BSTR name = nullptr;
    ASSERT_EQ(camera->GetModelName(&name), S_OK);
    EXPECT_EQ(Narrow(name), model_);

    Unplug({"10", "11"});
    ExpectGone(camera);
    EXPECT_EQ(Models(), std::vector<std::string>{});
}

// The drive path is looked up when asked, not when the camera was counted.
TEST_F(RecordedTree, CardPutInAfterTheCountIsFoundWhenAsked) {
    Play("no-medium");
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    ASSERT_NE(collection.Get(), nullptr);
    InterfaceRef<CameraItem> camera;
    CameraAt(collection, 0, camera);
    ASSERT_NE(camera.Get(), nullptr);
    BSTR path = nullptr;
    ASSERT_EQ(camera->GetDrivePath(&path), S_OK);
    EXPECT_EQ(Narrow(path), kNoCard);

    WriteTree(Tree() + "volume \\\\?\\Volume{6a1f0c2e-4d11-11ee-9a01-000000000007}\\ 1\n"
                       "mount \\\\?\\Volume{6a1f0c2e-4d11-11ee-9a01-000000000007}\\ E:\\\n");
    ASSERT_EQ(camera->GetDrivePath(&path), S_OK);
    EXPECT_EQ(Narrow(path), "E:\\");
}

}  // namespace
