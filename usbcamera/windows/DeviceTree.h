// What the Windows camera component asks the system to find the cameras: one operation per
// group of system calls, in portable types (UTF-16 text as the wide calls give it, the
// system's numbers as integers).  The discovery (SetupApiCameras) runs over the real calls
// (Win32DeviceTree) in the component, and over recorded device trees in its tests, on any
// system.
#pragma once

#include <cstdint>
#include <vector>

#include "cameraserver/ReportedText.h"

namespace usbcamera {

using cameraserver::Units;

// A node of the device tree (the configuration manager's DEVINST).
using DeviceNode = std::uint32_t;

// A disk that is present: its node, and the interface path it is opened by.
struct DiskInterface {
    DeviceNode node = 0;
    Units path;
};

// The text properties of a node that can name a camera.
enum class DeviceText {
    BusReportedDescription,  // DEVPKEY_Device_BusReportedDeviceDesc: the device's own product string
    FriendlyName,            // DEVPKEY_Device_FriendlyName
};

// Every operation reports "nothing" (false, empty) when the system cannot answer; only a
// failed allocation raises.
class DeviceTree {
public:
    virtual ~DeviceTree() = default;
    DeviceTree(const DeviceTree&) = delete;
    DeviceTree& operator=(const DeviceTree&) = delete;

    // The disks present now, in the system's order (SetupDiGetClassDevsW on
    // GUID_DEVINTERFACE_DISK with DIGCF_PRESENT, SetupDiEnumDeviceInterfaces,
    // SetupDiGetDeviceInterfaceDetailW).
    virtual std::vector<DiskInterface> Disks() = 0;
    // The node above `node` (CM_Get_Parent); false at the tree's root.
    virtual bool Parent(DeviceNode node, DeviceNode& parent) = 0;
    // The node's instance id, "USB\VID_1209&PID_0001\RQ5600CARD" (CM_Get_Device_IDW).
    virtual Units InstanceId(DeviceNode node) = 0;
    // A text property of the node (CM_Get_DevNode_PropertyW).
    virtual Units Text(DeviceNode node, DeviceText which) = 0;
    // Whether the device `instanceId` is present now (CM_Locate_DevNodeW, normal).
    virtual bool IsPresent(const Units& instanceId) = 0;
    // The number of the disk at `interfacePath` (IOCTL_STORAGE_GET_DEVICE_NUMBER).
    virtual bool DiskNumber(const Units& interfacePath, std::uint32_t& number) = 0;
    // The volumes' names, "\\?\Volume{...}\" (FindFirstVolumeW, FindNextVolumeW).
    virtual std::vector<Units> Volumes() = 0;
    // The numbers of the disks the volume lies on (IOCTL_STORAGE_GET_DEVICE_NUMBER on the
    // volume, else IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS).
    virtual std::vector<std::uint32_t> VolumeDisks(const Units& volume) = 0;
    // Where the volume is mounted: "E:\", "C:\Cards\Camera\" (GetVolumePathNamesForVolumeNameW).
    virtual std::vector<Units> MountPoints(const Units& volume) = 0;
    // The drive the system runs from, "C:" (GetSystemWindowsDirectoryW).
    virtual Units SystemDrive() = 0;

protected:
    DeviceTree() = default;
};

}  // namespace usbcamera
