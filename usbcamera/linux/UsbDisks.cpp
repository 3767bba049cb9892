#include "usbcamera/linux/UsbDisks.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/posix/Directory.h"
#include "usbcamera/linux/SysfsFile.h"

namespace usbcamera {

namespace {

const char kBlockClass[] = "/sys/class/block";
const char kMassStorageClass[] = "08";

std::string Parent(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::vector<std::string> BlockDeviceNames() {
    std::vector<std::string> names;
    const platform::posix::Directory folder(opendir(kBlockClass));
    if (folder.IsEmpty()) {
        return names;
    }
    while (const dirent* entry = readdir(folder.Get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The block device's folder in the device tree.
std::string DeviceFolder(const std::string& name) {
    const std::string entry = std::string(kBlockClass) + "/" + name;
    char target[4096];
    const ssize_t length = readlink(entry.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
        return entry;  // a folder of its own, as in older layouts
    }
    return ResolveLink(kBlockClass, std::string(target, static_cast<std::size_t>(length)));
}

// The USB device above `folder` when a mass-storage interface lies between them; empty
// otherwise.
std::string MassStorageDevice(const std::string& folder) {
    bool belowStorageInterface = false;
    for (std::string up = Parent(folder); up.size() > 1; up = Parent(up)) {
        if (ReadAttribute(up + "/bInterfaceClass") == kMassStorageClass) {
            belowStorageInterface = true;
        }
        if (Exists(up + "/idVendor")) {
            return belowStorageInterface ? up : std::string();
        }
    }
    return {};
}

Volume MakeVolume(const std::string& name, const std::string& folder) {
    Volume volume;
    volume.name = name;
    volume.folder = folder;
    volume.number = ReadAttribute(folder + "/dev");
    volume.sectors = std::strtoull(ReadAttribute(folder + "/size").c_str(), nullptr, 10);
    return volume;
}

struct Found {
    std::string name;
    std::string folder;
    long partition = 0;  // 0: a whole disk
};

}  // namespace

std::string ResolveLink(const std::string& base, const std::string& link) {
    std::vector<std::string> parts;
    const std::string joined = link.empty() || link[0] != '/' ? base + "/" + link : link;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos) {
            end = joined.size();
        }
        const std::string part = joined.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string resolved;
    for (const std::string& part : parts) {
        resolved += "/" + part;
    }
    return resolved.empty() ? "/" : resolved;
}

std::vector<UsbDisk> FindUsbDisks() {
    std::vector<UsbDisk> disks;
    std::vector<std::vector<Found>> found;  // per entry of `disks`
    for (const std::string& name : BlockDeviceNames()) {
        const std::string folder = DeviceFolder(name);
        const std::string device = MassStorageDevice(folder);
        if (device.empty()) {
            continue;
        }
        auto it = std::find_if(disks.begin(), disks.end(), [&](const UsbDisk& d) { return d.device == device; });
        if (it == disks.end()) {
            UsbDisk disk;
            disk.device = device;
            disk.vendorId = ReadAttribute(device + "/idVendor");
            disk.productId = ReadAttribute(device + "/idProduct");
            disk.product = ReadAttribute(device + "/product");
            disk.serial = ReadAttribute(device + "/serial");
            disks.push_back(disk);
            found.emplace_back();
            it = disks.end() - 1;
        }
        const std::string partition = ReadAttribute(folder + "/partition");
        found[static_cast<std::size_t>(it - disks.begin())].push_back(
            {name, folder, partition.empty() ? 0 : std::strtol(partition.c_str(), nullptr, 10)});
    }
    for (std::size_t i = 0; i < disks.size(); ++i) {
        for (const Found& whole : found[i]) {
            if (whole.partition != 0) {
                continue;
            }
            std::vector<Found> partitions;
            for (const Found& part : found[i]) {
                if (part.partition != 0 && Parent(part.folder) == whole.folder) {
                    partitions.push_back(part);
                }
            }
            std::sort(partitions.begin(), partitions.end(),
                      [](const Found& a, const Found& b) { return a.partition < b.partition; });
            if (partitions.empty()) {
                disks[i].volumes.push_back(MakeVolume(whole.name, whole.folder));
            }
            for (const Found& part : partitions) {
                disks[i].volumes.push_back(MakeVolume(part.name, part.folder));
            }
        }
    }
    disks.erase(std::remove_if(disks.begin(), disks.end(), [](const UsbDisk& d) { return d.volumes.empty(); }),
                disks.end());
    return disks;
}

}  // namespace usbcamera
