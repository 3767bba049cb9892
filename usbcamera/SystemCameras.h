// The USB camera component's source of cameras: the USB mass-storage devices connected
// when a manager is created, each named by the id table or by what the device reports.
// Each system finds them its own way: linux/ (sysfs and the mount table), windows/
// (SetupAPI and the volumes).
#pragma once

#include <memory>
#include <string>

#include "cameraserver/Source.h"

namespace usbcamera {

// The cameras now connected, named from the id table at `modelTable`.
std::shared_ptr<cameraserver::Source> OpenSystemCameras(const std::string& modelTable);

}  // namespace usbcamera
