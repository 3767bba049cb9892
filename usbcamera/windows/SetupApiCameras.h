// The Windows camera component's source of cameras: the USB mass-storage devices the device
// tree shows when the manager is created, one camera per USB device whatever number of disks
// (LUNs) and volumes it has, each named by the id table or by what the device reports.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "usbcamera/windows/DeviceTree.h"
#include "cameraserver/Source.h"

namespace usbcamera {

class SetupApiCameras final : public cameraserver::Source {
public:
    // The cameras `tree` shows now, named from the id table at `modelTable`.
    static std::shared_ptr<SetupApiCameras> Open(std::unique_ptr<DeviceTree> tree, const std::string& modelTable);

    std::size_t Count() override;
    cameraserver::ReportedText ModelName(std::size_t position) override;
    // Looked up when asked, as the card may have come or gone: the drive letter of a volume
    // on one of the camera's disks.  A card without one (no medium, a volume without a
    // letter) is reported as "<system drive>\<no card>\": absolute and ending in a separator,
    // as the utility checks a drive path, and ASCII, so that it converts in any code page;
    // on the local drive the system runs from, never a network drive or an empty floppy
    // slot; and a name no Windows file system holds, so that the utility's probe finds no
    // card there (ERROR_INVALID_NAME) and says so.
    cameraserver::ReportedText DrivePath(std::size_t position) override;
    // The same USB device is still present: another one plugged into the same port has
    // another instance id, unless it has neither serial number nor other ids.
    bool Present(std::size_t position) override;

private:
    struct Camera {
        Units usbId;               // the USB device's instance id
        std::vector<Units> disks;  // the interface paths of its disks, in the system's order
        Units model;
    };

    SetupApiCameras(std::unique_ptr<DeviceTree> tree, std::vector<Camera> cameras, Units noCard);

    const std::unique_ptr<DeviceTree> tree_;
    const std::vector<Camera> cameras_;
    const Units noCard_;
};

}  // namespace usbcamera
