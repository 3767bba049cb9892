// The Linux camera component's source of cameras: the USB mass-storage devices sysfs shows
// when the manager was created, each named by the id table or by its product string.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "usbcamera/linux/UsbDisks.h"
#include "cameraserver/Source.h"

namespace usbcamera {

class SysfsCameras final : public cameraserver::Source {
public:
    // The cameras now connected, named from the table at `modelTable`.
    static std::shared_ptr<SysfsCameras> Open(const std::string& modelTable);

    std::size_t Count() override;
    cameraserver::ReportedText ModelName(std::size_t position) override;
    // Where the camera's card is mounted, waiting a while for a card not mounted yet.
    cameraserver::ReportedText DrivePath(std::size_t position) override;
    // The same device still at the same place: another one plugged into the same port has a
    // folder of the same name but other ids.
    bool Present(std::size_t position) override;

private:
    SysfsCameras(std::vector<std::string> models, std::vector<UsbDisk> disks);

    const std::vector<std::string> models_;
    const std::vector<UsbDisk> disks_;
};

}  // namespace usbcamera
