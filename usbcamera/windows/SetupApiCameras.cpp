#include "usbcamera/windows/SetupApiCameras.h"

#include <algorithm>

#include "usbcamera/UsbModels.h"
#include "cameraserver/ServerLog.h"
#include "cameraserver/Utf8.h"

namespace usbcamera {

namespace {

// A device tree deeper than this is taken as broken rather than walked for ever.
constexpr int kDeepestTree = 64;

OLECHAR Upper(OLECHAR c) {
    return c >= 'a' && c <= 'z' ? static_cast<OLECHAR>(c - 'a' + 'A') : c;
}

bool IsHex(OLECHAR c) {
    const OLECHAR upper = Upper(c);
    return (upper >= '0' && upper <= '9') || (upper >= 'A' && upper <= 'F');
}

// Instance ids and drive letters are ASCII, compared in any letter case.
bool SameIgnoringCase(const Units& a, const Units& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](OLECHAR x, OLECHAR y) { return Upper(x) == Upper(y); });
}

// Whether `id` names a USB device, "USB\VID_vvvv&PID_pppp\<instance>", and its ids.  An
// interface of a composite device ("USB\VID_vvvv&PID_pppp&MI_00\...") is not the device.
bool IsUsbDevice(const Units& id, std::string& vendorId, std::string& productId) {
    const std::string pattern = "USB\\VID_hhhh&PID_hhhh\\";
    if (id.size() <= pattern.size()) {
        return false;
    }
    std::string digits;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == 'h') {
            if (!IsHex(id[i])) {
                return false;
            }
            digits += static_cast<char>(Upper(id[i]));
        } else if (Upper(id[i]) != static_cast<OLECHAR>(pattern[i])) {
            return false;
        }
    }
    vendorId = digits.substr(0, 4);
    productId = digits.substr(4);
    return true;
}

Units Trimmed(const Units& text) {
    const auto blank = [](OLECHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? Units(first, last) : Units();
}

bool IsLetter(OLECHAR c) {
    return Upper(c) >= 'A' && Upper(c) <= 'Z';
}

bool IsDriveRoot(const Units& path) {
    return path.size() == 3 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\';
}

// The drive path of a card without a drive letter (SetupApiCameras.h), on `systemDrive`, or on
// C: when the system cannot say.
Units NoCardPath(const Units& systemDrive) {
    const bool known = systemDrive.size() == 2 && IsLetter(systemDrive[0]) && systemDrive[1] == ':';
    Units path = known ? systemDrive : Units{'C', ':'};
    cameraserver::AppendUtf8("\\<no card>\\", path);
    return path;
}

std::string Shown(const Units& text) {
    return cameraserver::Quoted({false, text});
}

// The USB device the disk at `node` belongs to, walking up the tree.
bool UsbDeviceAbove(DeviceTree& tree, DeviceNode node, DeviceNode& device, Units& id, std::string& vendorId,
                    std::string& productId) {
    for (int depth = 0; depth < kDeepestTree; ++depth) {
        id = tree.InstanceId(node);
        if (IsUsbDevice(id, vendorId, productId)) {
            device = node;
            return true;
        }
        if (!tree.Parent(node, node)) {
            return false;
        }
    }
    return false;
}

// What a device that the id table does not list calls itself.
Units Description(DeviceTree& tree, DeviceNode device, DeviceNode disk) {
    const std::pair<DeviceNode, DeviceText> sources[] = {
        {device, DeviceText::BusReportedDescription},
        {device, DeviceText::FriendlyName},
        {disk, DeviceText::FriendlyName},
    };
    for (const auto& source : sources) {
        Units text = Trimmed(tree.Text(source.first, source.second));
        if (!text.empty()) {
            return text;
        }
    }
    return {};
}

}  // namespace

std::shared_ptr<SetupApiCameras> SetupApiCameras::Open(std::unique_ptr<DeviceTree> tree,
                                                       const std::string& modelTable) {
    std::string problem;
    const UsbModels table = UsbModels::Load(modelTable, problem);
    if (!problem.empty()) {
        cameraserver::Log("models " + modelTable + " ignored: " + problem);
    }
    std::vector<Camera> cameras;
    for (const DiskInterface& disk : tree->Disks()) {
        DeviceNode device = 0;
        Units id;
        std::string vendorId;
        std::string productId;
        if (!UsbDeviceAbove(*tree, disk.node, device, id, vendorId, productId)) {
            continue;
        }
        const auto same = [&id](const Camera& camera) { return SameIgnoringCase(camera.usbId, id); };
        auto camera = std::find_if(cameras.begin(), cameras.end(), same);
        if (camera != cameras.end()) {
            camera->disks.push_back(disk.path);
            continue;
        }
        Camera found;
        found.usbId = id;
        found.disks.push_back(disk.path);
        const std::string listed = table.Find(vendorId, productId);
        if (listed.empty()) {
            found.model = Description(*tree, device, disk.node);
        } else {
            cameraserver::AppendUtf8(listed, found.model);
        }
        cameras.push_back(std::move(found));
    }
    cameraserver::Log("load models=" + modelTable + " cameras=" + std::to_string(cameras.size()));
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        cameraserver::Log("camera position=" + std::to_string(i) + " usb=" + Shown(cameras[i].usbId) +
                          " model=" + Shown(cameras[i].model) + " disks=" + std::to_string(cameras[i].disks.size()));
    }
    Units noCard = NoCardPath(tree->SystemDrive());
    return std::shared_ptr<SetupApiCameras>(new SetupApiCameras(std::move(tree), std::move(cameras), std::move(noCard)));
}

SetupApiCameras::SetupApiCameras(std::unique_ptr<DeviceTree> tree, std::vector<Camera> cameras, Units noCard)
    : tree_(std::move(tree)), cameras_(std::move(cameras)), noCard_(std::move(noCard)) {}

std::size_t SetupApiCameras::Count() {
    return cameras_.size();
}

cameraserver::ReportedText SetupApiCameras::ModelName(std::size_t position) {
    return {false, cameras_[position].model};
}

cameraserver::ReportedText SetupApiCameras::DrivePath(std::size_t position) {
    const Camera& camera = cameras_[position];
    std::vector<std::uint32_t> numbers;
    for (const Units& disk : camera.disks) {
        std::uint32_t number = 0;
        if (tree_->DiskNumber(disk, number)) {
            numbers.push_back(number);
        }
    }
    const char* why = "no disk number";
    if (!numbers.empty()) {
        why = "no volume";  // no medium, or nothing on it that the system mounts
        for (const Units& volume : tree_->Volumes()) {
            const std::vector<std::uint32_t> on = tree_->VolumeDisks(volume);
            const auto ours = [&numbers](std::uint32_t disk) {
                return std::find(numbers.begin(), numbers.end(), disk) != numbers.end();
            };
            if (std::none_of(on.begin(), on.end(), ours)) {
                continue;
            }
            why = "volume without a drive letter";
            for (const Units& mount : tree_->MountPoints(volume)) {
                if (IsDriveRoot(mount)) {
                    cameraserver::Log("card usb=" + Shown(camera.usbId) + " volume=" + Shown(volume) +
                                      " drive=" + Shown(mount));
                    return {false, mount};
                }
            }
        }
    }
    cameraserver::Log("card usb=" + Shown(camera.usbId) + " " + why + " drive=" + Shown(noCard_));
    return {false, noCard_};
}

bool SetupApiCameras::Present(std::size_t position) {
    return tree_->IsPresent(cameras_[position].usbId);
}

}  // namespace usbcamera
