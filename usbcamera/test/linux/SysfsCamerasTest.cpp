// The Linux camera component through the COM runtime, against a fake system: each suite
// runs inside umockdev-run with the device description its CTest entry names (the suite's
// name says which), and writes the mount table the component reads into the fake /proc.
#include "support/CameraClient.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ComponentLog.h"
#include "support/RowName.h"

namespace {

// The USB device of the first camera in every description.
const char kFirstCamera[] = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";

using namespace camera_client;

class UsbCamera : public ComponentLogTest {
protected:
    UsbCamera() : ComponentLogTest("USBCAMERA_LOG") {}

    void SetUp() override {
        ComponentLogTest::SetUp();
        mockRoot_ = Environment("UMOCKDEV_DIR");
        model_ = Environment("USBCAMERA_TEST_MODEL");
        ASSERT_FALSE(mockRoot_.empty()) << "runs inside umockdev-run";
        ASSERT_FALSE(model_.empty()) << "USBCAMERA_TEST_MODEL comes from the test's CTest entry";
        std::filesystem::create_directories(mockRoot_ + "/proc/self");
        Mounts({});
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        ExpectAllReleased();
    }

    // The mount table as /proc/self/mountinfo shows it inside the fake system.
    void Mounts(const std::vector<std::string>& lines) const {
        std::ofstream file(mockRoot_ + "/proc/self/mountinfo", std::ios::trunc);
        file << "22 1 0:21 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n";
        for (const std::string& line : lines) {
            file << line << "\n";
        }
        ASSERT_TRUE(file.good());
    }

    std::string mockRoot_;
    std::string model_;
};

// One camera with a partitioned card (sdb1 = 8:17), in the mount tables a desktop makes.
class Partitioned : public UsbCamera {};

struct MountRow {
    const char* name;
    std::vector<std::string> table;
    const char* drive;
};

void PrintTo(const MountRow& row, std::ostream* out) { *out << row.name; }

class PartitionedMount : public Partitioned, public testing::WithParamInterface<MountRow> {};

TEST_P(PartitionedMount, ReportsTheModelAndTheCardsFolder) {
    Mounts(GetParam().table);
    EXPECT_EQ(Models(), std::vector<std::string>{model_});
    EXPECT_EQ(DrivePath(0), GetParam().drive);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, PartitionedMount,
    testing::Values(
        MountRow{"space_in_the_mount_point",
                 {"40 22 8:17 / /media/user/MY\\040CARD rw,nosuid,nodev,relatime shared:90 - vfat /dev/sdb1 rw,fmask=0022"},
                 "/media/user/MY CARD/"},
        MountRow{"read_only_as_any_other",
                 {"40 22 8:17 / /media/locked ro,nosuid,nodev,relatime shared:90 - vfat /dev/sdb1 ro"},
                 "/media/locked/"},
        MountRow{"bind_mount_of_a_folder_inside_is_not_the_card",
                 {"40 22 8:17 /DCIM /home/user/photos rw,relatime shared:91 - vfat /dev/sdb1 rw",
                  "41 22 8:17 / /media/card rw,relatime shared:90 - vfat /dev/sdb1 rw"},
                 "/media/card/"},
        MountRow{"bind_mount_of_the_whole_card_read_write_preferred",
                 {"40 22 8:17 / /media/card ro,relatime shared:90 - vfat /dev/sdb1 rw",
                  "41 22 8:17 / /mnt/card rw,relatime shared:90 - vfat /dev/sdb1 rw"},
                 "/mnt/card/"},
        MountRow{"file_system_remounted_read_only_after_errors",
                 {"40 22 8:17 / /media/card rw,relatime shared:90 - vfat /dev/sdb1 ro",
                  "41 22 8:17 / /mnt/card rw,relatime shared:90 - vfat /dev/sdb1 ro"},
                 "/media/card/"},
        // What a path reaches is the topmost mount on it: a card covered by a later mount on
        // the same folder is not reached there, another mount of it is.
        MountRow{"covered_by_a_later_mount_on_the_same_folder",
                 {"40 22 8:17 / /media/card rw,relatime shared:90 - vfat /dev/sdb1 rw",
                  "41 40 0:50 / /media/card rw,relatime - tmpfs tmpfs rw",
                  "42 22 8:17 / /mnt/card ro,relatime shared:90 - vfat /dev/sdb1 rw"},
                 "/mnt/card/"},
        MountRow{"covering_mount_elsewhere_leaves_the_card",
                 {"40 22 8:17 / /media/card rw,relatime shared:90 - vfat /dev/sdb1 rw",
                  "41 40 0:50 / /media/card/DCIM rw,relatime - tmpfs tmpfs rw"},
                 "/media/card/"},
        MountRow{"other_devices_mounted_too",
                 {"40 22 8:16 / /media/disk rw - vfat /dev/sdb rw", "41 22 8:33 / /media/other rw - vfat /dev/sdc1 rw",
                  "42 22 8:17 / /media/card rw - vfat /dev/sdb1 rw"},
                 "/media/card/"}),
    RowName<MountRow>);

// A stand-in for udisksctl at `path`: it notes its arguments in `calls` and, when
// `mounts`, adds the card's mount to the fake table, as udisksctl would.
void WriteUdisks(const std::string& path, const std::string& calls, const std::string& table, bool mounts) {
    {
        std::ofstream script(path);
        script << "#!/bin/sh\n"
               << "echo \"$*\" >> '" << calls << "'\n";
        if (mounts) {
            script << "echo '40 22 8:17 / /media/user/UDISKS rw - vfat /dev/sdb1 rw' >> '" << table << "'\n"
                   << "echo 'Mounted /dev/sdb1 at /media/user/UDISKS'\n";
        }
    }
    ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

// A card nobody mounts: the component waits about 5 s for a mount, finds no udisksctl in an
// absolute folder of the PATH (one in the working folder, which an empty entry, "." or a
// relative folder would name, is never run), and reports the device node's path, which
// names no folder.
TEST_F(Partitioned, CardNeverMountedIsReportedAsTheDeviceNode) {
    const std::string emptyFolder = mockRoot_ + "/no-programs";
    const std::string working = mockRoot_ + "/working";
    std::filesystem::create_directories(emptyFolder);
    std::filesystem::create_directories(working + "/bin");
    const std::string calls = mockRoot_ + "/planted.calls";
    WriteUdisks(working + "/udisksctl", calls, mockRoot_ + "/proc/self/mountinfo", true);
    WriteUdisks(working + "/bin/udisksctl", calls, mockRoot_ + "/proc/self/mountinfo", true);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(working);
    setenv("PATH", (":.:bin:" + emptyFolder + ":").c_str(), 1);
    std::chrono::milliseconds took{};
    const std::string drive = DrivePath(0, &took);
    std::filesystem::current_path(before);
    EXPECT_EQ(drive, "/dev/sdb1/");
    EXPECT_GE(took.count(), 4500);
    EXPECT_LT(took.count(), 8000);
    EXPECT_FALSE(std::filesystem::exists(calls)) << "a udisksctl from the working folder was run";
    EXPECT_TRUE(Logged("udisksctl not found in an absolute folder of PATH"));
    EXPECT_TRUE(Logged("card /dev/sdb1/ not mounted"));
}

TEST_F(Partitioned, CardMountedWhileTheComponentWaitsIsFound) {
    std::thread desktop([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        Mounts({"40 22 8:17 / /media/user/CARD rw - vfat /dev/sdb1 rw"});
    });
    std::chrono::milliseconds took{};
    const std::string drive = DrivePath(0, &took);
    desktop.join();
    EXPECT_EQ(drive, "/media/user/CARD/");
    EXPECT_GE(took.count(), 900);
    EXPECT_LT(took.count(), 4000);
}

// udisksctl, asked as a file manager would, mounts the card; a stand-in on the PATH adds
// the mount to the table and notes how it was called.  The mount table judges it, also
// where the program cannot wait for udisksctl (it ignores SIGCHLD, so its children are
// reaped by the kernel).
TEST_F(Partitioned, CardNobodyMountedIsMountedThroughUdisks) {
    const std::string folder = mockRoot_ + "/programs";
    std::filesystem::create_directories(folder);
    const std::string calls = mockRoot_ + "/udisksctl.calls";
    WriteUdisks(folder + "/udisksctl", calls, mockRoot_ + "/proc/self/mountinfo", true);
    setenv("PATH", (folder + ":/usr/bin:/bin").c_str(), 1);
    for (const bool ignoreChildren : {false, true}) {
        SCOPED_TRACE(ignoreChildren ? "SIGCHLD ignored" : "SIGCHLD as usual");
        Mounts({});
        std::filesystem::remove(calls);
        const auto previous = std::signal(SIGCHLD, ignoreChildren ? SIG_IGN : SIG_DFL);
        const std::string drive = DrivePath(0);
        std::signal(SIGCHLD, previous);
        EXPECT_EQ(drive, "/media/user/UDISKS/");
        std::ifstream called(calls);
        std::string line;
        std::getline(called, line);
        EXPECT_EQ(line, "mount --block-device /dev/sdb1 --no-user-interaction");
        EXPECT_TRUE(Logged(ignoreChildren ? "mount sdb1 udisksctl ended, mounted" : "mount sdb1 udisksctl succeeded, mounted"));
    }
}

// Once the camera is unplugged its operations fail with error information, so the
// utility's presence check sees it gone.
TEST_F(Partitioned, CameraUnpluggedFailsItsCallsWithErrorInformation) {
    Mounts({"40 22 8:17 / /media/card rw - vfat /dev/sdb1 rw"});
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    InterfaceRef<CameraItem> camera;
    CameraAt(collection, 0, camera);
    BSTR name = nullptr;
    ASSERT_EQ(camera->GetModelName(&name), S_OK);
    EXPECT_EQ(Narrow(name), model_);

    // Unplugged: its folder leaves the fake sysfs (and comes back for the next test).
    const std::string device = mockRoot_ + kFirstCamera;
    std::filesystem::rename(device, device + ".unplugged");
    ExpectGone(camera);
    std::filesystem::rename(device + ".unplugged", device);
}

class WholeDisk : public UsbCamera {};

TEST_F(WholeDisk, CardWithoutPartitionTableIsTheDiskItself) {
    Mounts({"40 22 8:16 / /media/user/NO\\040NAME rw - vfat /dev/sdb rw"});
    EXPECT_EQ(Models(), std::vector<std::string>{model_});
    EXPECT_EQ(DrivePath(0), "/media/user/NO NAME/");
}

class TwoCameras : public UsbCamera {};

TEST_F(TwoCameras, EachIsOneCameraWithItsOwnCard) {
    Mounts({"40 22 8:33 / /media/second rw - vfat /dev/sdc1 rw", "41 22 8:17 / /media/first rw - vfat /dev/sdb1 rw"});
    EXPECT_EQ(Models(), (std::vector<std::string>{model_, model_}));
    EXPECT_EQ(DrivePath(0), "/media/first/");
    EXPECT_EQ(DrivePath(1), "/media/second/");
}

class CameraAndStick : public UsbCamera {};

// The stick is not in the id table: it reports its product string, trimmed.  The
// machine's own disk is on no USB bus and is no camera.
TEST_F(CameraAndStick, StickReportsItsProductAndTheInternalDiskIsLeftOut) {
    Mounts({"40 22 8:17 / /media/stick rw - vfat /dev/sdb1 rw", "41 22 8:33 / /media/card rw - vfat /dev/sdc1 rw",
            "42 22 8:0 / /home rw - ext4 /dev/sda rw"});
    EXPECT_EQ(Models(), (std::vector<std::string>{"USB Flash Disk", model_}));
    EXPECT_EQ(DrivePath(1), "/media/card/");
}

class NoMedium : public UsbCamera {};

// An empty slot is not waited for: no card can be mounted there.
TEST_F(NoMedium, EmptySlotIsReportedAtOnceAsTheDeviceNode) {
    EXPECT_EQ(Models(), std::vector<std::string>{model_});
    std::chrono::milliseconds took{};
    EXPECT_EQ(DrivePath(0, &took), "/dev/sdb/");
    EXPECT_LT(took.count(), 1000);
}

}  // namespace
