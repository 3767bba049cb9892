// The product DLL's cameras: the discovery over the device tree the system shows.
#include "SystemCameras.h"

#include "SetupApiCameras.h"
#include "Win32DeviceTree.h"
#include "cameraserver/win32/Module.h"

namespace usbcamera {

std::shared_ptr<cameraserver::Source> OpenSystemCameras(const std::string& modelTable) {
    // A file has no folders below it: the DLL's own path as a folder is no usable card.
    Units noCard = cameraserver::ModuleFileName() + L"\\";
    return SetupApiCameras::Open(OpenWin32DeviceTree(), modelTable, std::move(noCard));
}

}  // namespace usbcamera
