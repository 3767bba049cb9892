// The test build of the Windows camera component: the same discovery over a device tree
// recorded in a text file instead of the system's (the product DLL has no such switch).
//
// The file is the one USBCAMERA_DEVICE_TREE names, read afresh at every call, so that a
// test unplugs a device or takes a card out by rewriting it between two calls.  UTF-8, one
// fact a line; blank lines and lines beginning with # are skipped; fields are separated by
// one space and the last one runs to the end of the line:
//
//   device <node> <parent node, or - at the root> <instance id>
//   text <node> BusReportedDeviceDesc|FriendlyName <text>
//   disk <node> <disk number, or - when it cannot be had> <interface path>
//   volume <volume name> <disk numbers, comma-separated, or - for none>
//   mount <volume name> <mount point>
//   system <the drive the system runs from, "D:"; without it the system cannot say>
//
// A disk is present while its node's device line is there; a device is present while its
// line is.
#include <cstdlib>
#include <map>
#include <sstream>

#include "usbcamera/windows/DeviceTree.h"
#include "usbcamera/windows/SetupApiCameras.h"
#include "usbcamera/SystemCameras.h"
#include "usbcamera/TableFile.h"
#include "cameraserver/ServerLog.h"
#include "cameraserver/Utf8.h"

namespace usbcamera {

namespace {

Units Wide(const std::string& text) {
    Units units;
    cameraserver::AppendUtf8(text, units);
    return units;
}

bool ParseNumber(const std::string& text, std::uint32_t& number) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) {
        return false;
    }
    number = static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
    return true;
}

struct Device {
    bool hasParent = false;
    DeviceNode parent = 0;
    Units id;
    std::map<std::string, Units> texts;
};

struct Disk {
    DeviceNode node = 0;
    bool numbered = false;
    std::uint32_t number = 0;
    Units path;
};

struct Volume {
    Units name;
    std::vector<std::uint32_t> disks;
    std::vector<Units> mounts;
};

struct Recording {
    std::map<DeviceNode, Device> devices;
    std::vector<Disk> disks;
    std::vector<Volume> volumes;
    Units systemDrive;

    Volume* Find(const Units& name) {
        for (Volume& volume : volumes) {
            if (volume.name == name) {
                return &volume;
            }
        }
        return nullptr;
    }
};

// `count` fields of `line` after its kind, the last one running to the line's end.
bool Split(const std::string& line, std::size_t count, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t start = line.find(' ');
    while (start != std::string::npos && fields.size() + 1 < count) {
        const std::size_t end = line.find(' ', start + 1);
        if (end == std::string::npos) {
            return false;
        }
        fields.push_back(line.substr(start + 1, end - start - 1));
        start = end;
    }
    if (start == std::string::npos || start + 1 >= line.size()) {
        return false;
    }
    fields.push_back(line.substr(start + 1));
    return true;
}

bool ParseLine(const std::string& line, Recording& recording) {
    const std::string kind = line.substr(0, line.find(' '));
    std::vector<std::string> f;
    DeviceNode node = 0;
    if (kind == "device" && Split(line, 3, f) && ParseNumber(f[0], node)) {
        Device& device = recording.devices[node];
        device.hasParent = f[1] != "-";
        device.id = Wide(f[2]);
        return !device.hasParent || ParseNumber(f[1], device.parent);
    }
    if (kind == "text" && Split(line, 3, f) && ParseNumber(f[0], node) &&
        (f[1] == "BusReportedDeviceDesc" || f[1] == "FriendlyName")) {
        recording.devices[node].texts[f[1]] = Wide(f[2]);
        return true;
    }
    if (kind == "disk" && Split(line, 3, f) && ParseNumber(f[0], node)) {
        Disk disk;
        disk.node = node;
        disk.numbered = f[1] != "-";
        disk.path = Wide(f[2]);
        recording.disks.push_back(disk);
        return !disk.numbered || ParseNumber(f[1], recording.disks.back().number);
    }
    if (kind == "volume" && Split(line, 2, f)) {
        Volume volume;
        volume.name = Wide(f[0]);
        std::istringstream numbers(f[1] == "-" ? std::string() : f[1]);
        for (std::string item; std::getline(numbers, item, ',');) {
            std::uint32_t number = 0;
            if (!ParseNumber(item, number)) {
                return false;
            }
            volume.disks.push_back(number);
        }
        recording.volumes.push_back(volume);
        return true;
    }
    if (kind == "mount" && Split(line, 2, f)) {
        Volume* volume = recording.Find(Wide(f[0]));
        if (volume != nullptr) {
            volume->mounts.push_back(Wide(f[1]));
        }
        return volume != nullptr;
    }
    if (kind == "system" && Split(line, 1, f)) {
        recording.systemDrive = Wide(f[0]);
        return true;
    }
    return false;
}

class RecordedDeviceTree final : public DeviceTree {
public:
    explicit RecordedDeviceTree(std::string path) : path_(std::move(path)) {}

    std::vector<DiskInterface> Disks() override {
        const Recording recording = Read();
        std::vector<DiskInterface> disks;
        for (const Disk& disk : recording.disks) {
            const auto device = recording.devices.find(disk.node);
            if (device != recording.devices.end() && !device->second.id.empty()) {
                disks.push_back({disk.node, disk.path});
            }
        }
        return disks;
    }

    bool Parent(DeviceNode node, DeviceNode& parent) override {
        const Recording recording = Read();
        const auto device = recording.devices.find(node);
        if (device == recording.devices.end() || !device->second.hasParent) {
            return false;
        }
        parent = device->second.parent;
        return true;
    }

    Units InstanceId(DeviceNode node) override {
        const Recording recording = Read();
        const auto device = recording.devices.find(node);
        return device != recording.devices.end() ? device->second.id : Units();
    }

    Units Text(DeviceNode node, DeviceText which) override {
        const Recording recording = Read();
        const auto device = recording.devices.find(node);
        if (device == recording.devices.end()) {
            return {};
        }
        const auto text = device->second.texts.find(
            which == DeviceText::BusReportedDescription ? "BusReportedDeviceDesc" : "FriendlyName");
        return text != device->second.texts.end() ? text->second : Units();
    }

    bool IsPresent(const Units& instanceId) override {
        for (const auto& device : Read().devices) {
            if (device.second.id == instanceId) {
                return true;
            }
        }
        return false;
    }

    bool DiskNumber(const Units& interfacePath, std::uint32_t& number) override {
        const Recording recording = Read();
        for (const Disk& disk : recording.disks) {
            if (disk.path == interfacePath && disk.numbered && recording.devices.count(disk.node) != 0) {
                number = disk.number;
                return true;
            }
        }
        return false;
    }

    std::vector<Units> Volumes() override {
        std::vector<Units> names;
        for (const Volume& volume : Read().volumes) {
            names.push_back(volume.name);
        }
        return names;
    }

    std::vector<std::uint32_t> VolumeDisks(const Units& volume) override {
        Recording recording = Read();
        const Volume* found = recording.Find(volume);
        return found != nullptr ? found->disks : std::vector<std::uint32_t>();
    }

    std::vector<Units> MountPoints(const Units& volume) override {
        Recording recording = Read();
        const Volume* found = recording.Find(volume);
        return found != nullptr ? found->mounts : std::vector<Units>();
    }

    Units SystemDrive() override { return Read().systemDrive; }

private:
    // The file as it is now; an absent file is a machine without disks.
    Recording Read() const {
        Recording recording;
        std::string text;
        std::string problem;
        if (path_.empty() || !ReadTableFile(path_, text, problem)) {
            return recording;
        }
        std::istringstream lines(text);
        int number = 0;
        for (std::string line; std::getline(lines, line);) {
            ++number;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty() && line[0] != '#' && !ParseLine(line, recording)) {
                cameraserver::Log("tree " + path_ + " line " + std::to_string(number) + " not understood");
            }
        }
        return recording;
    }

    const std::string path_;
};

}  // namespace

std::shared_ptr<cameraserver::Source> OpenSystemCameras(const std::string& modelTable) {
    const char* tree = std::getenv("USBCAMERA_DEVICE_TREE");
    return SetupApiCameras::Open(std::make_unique<RecordedDeviceTree>(tree != nullptr ? tree : ""), modelTable);
}

}  // namespace usbcamera
