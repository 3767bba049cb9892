// The real calls of the Windows camera component's device tree, where they can run without
// a USB camera: the volumes and their mount points (the system drive's at least), and what
// the tree answers for what is not there.  Under Wine, which lists no disk through SetupAPI,
// the disks' side finds nothing; on Windows the system disk at least.
#include "usbcamera/windows/Win32DeviceTree.h"

#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/Wine.h"

namespace {

using usbcamera::Units;

TEST(Win32DeviceTree, SystemDriveIsAVolumeMountedAtItsLetter) {
    const auto tree = usbcamera::OpenWin32DeviceTree();
    WCHAR windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 2u);
    const Units root = {windows[0], L':', L'\\'};
    EXPECT_EQ(tree->SystemDrive(), root.substr(0, 2));
    WCHAR name[MAX_PATH] = {};
    ASSERT_TRUE(GetVolumeNameForVolumeMountPointW(root.c_str(), name, MAX_PATH));

    const std::vector<Units> volumes = tree->Volumes();
    EXPECT_NE(std::find(volumes.begin(), volumes.end(), Units(name)), volumes.end()) << "no volume for " << name[0];
    for (const Units& volume : volumes) {
        EXPECT_EQ(volume.rfind(L"\\\\?\\Volume{", 0), 0u);
        EXPECT_EQ(volume.back(), L'\\');
    }
    const std::vector<Units> mounts = tree->MountPoints(name);
    EXPECT_NE(std::find(mounts.begin(), mounts.end(), root), mounts.end());
}

TEST(Win32DeviceTree, WhatIsNotThereIsNothing) {
    const auto tree = usbcamera::OpenWin32DeviceTree();
    std::uint32_t number = 7;
    EXPECT_FALSE(tree->DiskNumber(L"\\\\?\\usbstor#disk&ven_none#0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}", number));
    EXPECT_EQ(number, 7u);
    EXPECT_FALSE(tree->IsPresent(L"USB\\VID_0000&PID_0000\\NOT-THERE"));
    EXPECT_EQ(tree->MountPoints(L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\"), std::vector<Units>{});
    EXPECT_EQ(tree->VolumeDisks(L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\"),
              std::vector<std::uint32_t>{});
}

TEST(Win32DeviceTree, DisksArePresentOnWindowsOnly) {
    const auto disks = usbcamera::OpenWin32DeviceTree()->Disks();
    if (UnderWine()) {
        // Wine lists no disk through SetupAPI: the component finds no camera there.
        EXPECT_TRUE(disks.empty());
        return;
    }
    ASSERT_FALSE(disks.empty());
    for (const auto& disk : disks) {
        EXPECT_EQ(disk.path.rfind(L"\\\\?\\", 0), 0u);
    }
}

}  // namespace
