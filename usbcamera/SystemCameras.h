// The Linux camera component's source of cameras: the USB mass-storage devices connected
// when the manager was created, each named by the id table or by its product string.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "UsbDisks.h"
#include "cameraserver/Source.h"

namespace usbcamera {

class SystemCameras final : public cameraserver::Source {
public:
    // The cameras now connected, named from the table at `modelTable`.
    static std::shared_ptr<SystemCameras> Open(const std::string& modelTable);

    // Nothing is injected: every operation goes as the system lets it.
    cameraserver::Outcome Decide(const std::string& operation) override;
    // A camera's operations fail once its device is gone (ERROR_DEVICE_NOT_CONNECTED,
    // with error information).
    cameraserver::Outcome DecideForCamera(const std::string& operation, std::size_t position) override;
    // Where the camera's card is mounted, waiting a while for a card not mounted yet.
    cameraserver::ReportedText DrivePath(std::size_t position) override;

private:
    SystemCameras(cameraserver::Listing listing, std::vector<UsbDisk> disks);
    bool Connected(std::size_t position) const;

    const std::vector<UsbDisk> disks_;
};

}  // namespace usbcamera
