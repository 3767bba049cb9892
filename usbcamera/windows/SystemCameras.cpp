// The product DLL's cameras: the discovery over the device tree the system shows.
#include "usbcamera/SystemCameras.h"

#include "usbcamera/windows/SetupApiCameras.h"
#include "usbcamera/windows/Win32DeviceTree.h"

namespace usbcamera {

std::shared_ptr<cameraserver::Source> OpenSystemCameras(const std::string& modelTable) {
    return SetupApiCameras::Open(OpenWin32DeviceTree(), modelTable);
}

}  // namespace usbcamera
