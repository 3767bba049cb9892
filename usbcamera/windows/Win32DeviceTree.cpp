// The device tree as Windows shows it, through SetupAPI, the configuration manager and the
// volume calls.  Every device information set, search and handle is owned (platform/win32/Handles.h)
// and released on every path.
#include "platform/Platform.h"

#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>
#include <cwchar>

#include "platform/win32/Handles.h"
#include "usbcamera/windows/Win32DeviceTree.h"

namespace usbcamera {

namespace {

using platform::win32::DeviceList;
using platform::win32::KernelHandle;
using platform::win32::VolumeSearch;

// GUID_DEVINTERFACE_DISK and the two property keys, defined here: the system headers
// declare them without a definition unless INITGUID comes first in the whole unit.
constexpr GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr DEVPROPKEY kBusReportedDescription = {
    {0x540B947E, 0x8B40, 0x45BC, {0xA8, 0xA2, 0x6A, 0x0B, 0x89, 0x4C, 0xBD, 0xA2}}, 4};
constexpr DEVPROPKEY kFriendlyName = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}},
                                      14};

// Opens a disk or a volume for questions only: no read or write access, which would need
// an administrator.
KernelHandle OpenForQuestions(const Units& path) {
    return KernelHandle(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
}

bool DeviceNumber(HANDLE device, STORAGE_DEVICE_NUMBER& number) {
    DWORD bytes = 0;
    return DeviceIoControl(device, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &bytes,
                           nullptr) != FALSE;
}

class Win32DeviceTree final : public DeviceTree {
public:
    Win32DeviceTree() = default;

    std::vector<DiskInterface> Disks() override {
        std::vector<DiskInterface> disks;
        const DeviceList list(SetupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
        if (list.IsEmpty()) {
            return disks;
        }
        SP_DEVICE_INTERFACE_DATA entry{};
        entry.cbSize = sizeof entry;
        for (DWORD index = 0; SetupDiEnumDeviceInterfaces(list.Get(), nullptr, &kDiskInterface, index, &entry); ++index) {
            DWORD size = 0;
            SetupDiGetDeviceInterfaceDetailW(list.Get(), &entry, nullptr, 0, &size, nullptr);
            if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
                continue;
            }
            // Whole 8-byte units, so that the detail's alignment holds.
            std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);
            auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // the fixed part's size, as the call wants
            SP_DEVINFO_DATA device{};
            device.cbSize = sizeof device;
            if (SetupDiGetDeviceInterfaceDetailW(list.Get(), &entry, detail, size, nullptr, &device)) {
                disks.push_back({device.DevInst, Units(detail->DevicePath)});
            }
        }
        return disks;
    }

    bool Parent(DeviceNode node, DeviceNode& parent) override {
        DEVINST above = 0;
        if (CM_Get_Parent(&above, node, 0) != CR_SUCCESS) {
            return false;
        }
        parent = above;
        return true;
    }

    Units InstanceId(DeviceNode node) override {
        WCHAR id[MAX_DEVICE_ID_LEN + 1] = {};
        if (CM_Get_Device_IDW(node, id, MAX_DEVICE_ID_LEN + 1, 0) != CR_SUCCESS) {
            return {};
        }
        return Units(id, wcsnlen(id, MAX_DEVICE_ID_LEN));
    }

    Units Text(DeviceNode node, DeviceText which) override {
        const DEVPROPKEY& key = which == DeviceText::BusReportedDescription ? kBusReportedDescription : kFriendlyName;
        DEVPROPTYPE type = 0;
        ULONG size = 0;
        if (CM_Get_DevNode_PropertyW(node, &key, &type, nullptr, &size, 0) != CR_BUFFER_SMALL ||
            type != DEVPROP_TYPE_STRING || size == 0) {
            return {};
        }
        std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, L'\0');
        if (CM_Get_DevNode_PropertyW(node, &key, &type, reinterpret_cast<PBYTE>(text.data()), &size, 0) != CR_SUCCESS ||
            type != DEVPROP_TYPE_STRING) {
            return {};
        }
        return Units(text.data(), wcsnlen(text.data(), size / sizeof(WCHAR)));
    }

    bool IsPresent(const Units& instanceId) override {
        Units id = instanceId;  // the call takes a writable string
        DEVINST node = 0;
        return CM_Locate_DevNodeW(&node, &id[0], CM_LOCATE_DEVNODE_NORMAL) == CR_SUCCESS;
    }

    bool DiskNumber(const Units& interfacePath, std::uint32_t& number) override {
        const KernelHandle disk = OpenForQuestions(interfacePath);
        STORAGE_DEVICE_NUMBER found{};
        if (disk.IsEmpty() || !DeviceNumber(disk.Get(), found)) {
            return false;
        }
        number = found.DeviceNumber;
        return true;
    }

    std::vector<Units> Volumes() override {
        std::vector<Units> volumes;
        WCHAR name[MAX_PATH + 1] = {};
        const VolumeSearch search(FindFirstVolumeW(name, MAX_PATH + 1));
        if (search.IsEmpty()) {
            return volumes;
        }
        do {
            volumes.emplace_back(name);
        } while (FindNextVolumeW(search.Get(), name, MAX_PATH + 1));
        return volumes;
    }

    std::vector<std::uint32_t> VolumeDisks(const Units& volume) override {
        // The volume's device is its name without the final separator, which would name
        // its root folder.
        Units device = volume;
        if (!device.empty() && device.back() == L'\\') {
            device.pop_back();
        }
        const KernelHandle handle = OpenForQuestions(device);
        if (handle.IsEmpty()) {
            return {};
        }
        // A partition of a basic disk answers with its disk; a CD or DVD has numbers of its
        // own kind, which are no disk's.
        STORAGE_DEVICE_NUMBER number{};
        if (DeviceNumber(handle.Get(), number)) {
            return number.DeviceType == FILE_DEVICE_DISK ? std::vector<std::uint32_t>{number.DeviceNumber}
                                                         : std::vector<std::uint32_t>{};
        }
        // A volume over several disks (dynamic disks, storage spaces) lists its extents.
        for (DWORD extents = 4; extents <= 1024; extents *= 4) {
            const DWORD size = static_cast<DWORD>(offsetof(VOLUME_DISK_EXTENTS, Extents) + extents * sizeof(DISK_EXTENT));
            std::vector<std::uint64_t> buffer(size / sizeof(std::uint64_t) + 1);
            DWORD bytes = 0;
            if (DeviceIoControl(handle.Get(), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(), size,
                                &bytes, nullptr)) {
                const auto* found = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
                std::vector<std::uint32_t> disks;
                for (DWORD i = 0; i < found->NumberOfDiskExtents && i < extents; ++i) {
                    disks.push_back(found->Extents[i].DiskNumber);
                }
                return disks;
            }
            if (GetLastError() != ERROR_MORE_DATA) {
                break;
            }
        }
        return {};
    }

    std::vector<Units> MountPoints(const Units& volume) override {
        std::vector<WCHAR> names(MAX_PATH + 1, L'\0');
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD needed = 0;
            if (GetVolumePathNamesForVolumeNameW(volume.c_str(), names.data(), static_cast<DWORD>(names.size()),
                                                 &needed)) {
                return EachName(names);
            }
            if (GetLastError() != ERROR_MORE_DATA || needed <= names.size()) {
                break;
            }
            names.assign(needed, L'\0');
        }
        return {};
    }

    Units SystemDrive() override {
        // The system's own Windows folder, not a terminal server user's (GetWindowsDirectoryW).
        WCHAR windows[MAX_PATH + 1] = {};
        const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
        if (length < 2 || length > MAX_PATH || windows[1] != L':') {
            return {};
        }
        return Units(windows, 2);
    }

private:
    // The names of a list that ends with an empty one.
    static std::vector<Units> EachName(const std::vector<WCHAR>& list) {
        std::vector<Units> names;
        for (std::size_t start = 0; start < list.size() && list[start] != L'\0';) {
            const std::size_t length = wcsnlen(&list[start], list.size() - start);
            names.emplace_back(&list[start], length);
            start += length + 1;
        }
        return names;
    }
};

}  // namespace

std::unique_ptr<DeviceTree> OpenWin32DeviceTree() {
    return std::make_unique<Win32DeviceTree>();
}

}  // namespace usbcamera
