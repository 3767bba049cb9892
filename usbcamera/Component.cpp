// What the Linux camera component supplies to the shared server objects: its cameras come
// from the system, named by the id table installed beside the plugin.
#include "SystemCameras.h"

namespace cameraserver {

const char* const kLogVariable = "USBCAMERA_LOG";
const char* const kErrorSource = "UsbCamera.CameraAccessComponent";

std::shared_ptr<Source> OpenSource(HRESULT& status) {
    status = S_OK;
    return usbcamera::SystemCameras::Open(ModuleDirectory() + "/usb-models.txt");
}

Outcome DecideBeforeOpen(const std::string& /*operation*/) {
    return Outcome();
}

}  // namespace cameraserver
