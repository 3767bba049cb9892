// The USB camera component: the server's objects over the USB mass-storage devices the
// system sees, named by the id table installed beside the module.
#include "usbcamera/SystemCameras.h"
#include "cameraserver/ComponentDescription.h"
#include "cameraserver/ModulePath.h"

namespace {

std::shared_ptr<cameraserver::Source> OpenCameras(HRESULT& status) {
    status = S_OK;
    return usbcamera::OpenSystemCameras(cameraserver::ModuleDirectory() + "/usb-models.txt");
}

constexpr cameraserver::ComponentDescription Describe() {
    cameraserver::ComponentDescription component;
    component.logVariable = "USBCAMERA_LOG";
    component.errorSource = "UsbCamera.CameraAccessComponent";
    component.openSource = OpenCameras;
    return component;
}

constexpr cameraserver::ComponentDescription kComponent = Describe();

}  // namespace

const cameraserver::ComponentDescription& cameraserver::ThisComponent() {
    return kComponent;
}
