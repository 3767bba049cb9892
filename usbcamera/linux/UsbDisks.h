// USB mass-storage devices and their volumes, found in sysfs without udev: each entry of
// /sys/class/block whose device hangs below a USB interface of class 08 (mass storage)
// belongs to the USB device above that interface, the first folder up the tree that has
// an idVendor.
#pragma once

#include <string>
#include <vector>

namespace usbcamera {

// A volume the camera's card may be: a partition, or a whole disk without partitions.
struct Volume {
    std::string name;                 // the block device's name ("sdb1"), as under /dev
    std::string number;               // "major:minor", as /proc/self/mountinfo names it
    unsigned long long sectors = 0;   // the size in 512-byte sectors: 0 without a medium
    std::string folder;               // its folder in sysfs
};

// One USB mass-storage device: one camera, whatever number of disks (LUNs) and partitions
// it has.
struct UsbDisk {
    std::string device;     // the USB device's folder in sysfs
    std::string vendorId;   // "46f4", as idVendor holds it
    std::string productId;  // "0001"
    std::string product;    // the product string, trimmed
    std::string serial;
    std::vector<Volume> volumes;  // each disk's partitions, or the disk itself, disks in name order
};

// The USB mass-storage devices now connected, in the order of their first block device's name.
std::vector<UsbDisk> FindUsbDisks();

// `link` (a symbolic link's target) resolved against the folder `base` without touching
// the file system: "../../devices/x" from "/sys/class/block" is "/sys/devices/x".
std::string ResolveLink(const std::string& base, const std::string& link);

}  // namespace usbcamera
