// The simulated camera component: the server's objects as the scenario makes them behave,
// and its own DllGetClassObject, which the scenario may fail.
#include "simcamera/SimObjects.h"
#include "cameraserver/ComponentDescription.h"

namespace {

constexpr cameraserver::ComponentDescription Describe() {
    cameraserver::ComponentDescription component;
    component.logVariable = "SIMCAMERA_LOG";
    component.errorSource = "SimCamera.CameraAccessComponent";
    // No openSource: the scenario is opened by SimFactory, which makes its own managers.
    return component;
}

constexpr cameraserver::ComponentDescription kComponent = Describe();

}  // namespace

const cameraserver::ComponentDescription& cameraserver::ThisComponent() {
    return kComponent;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return cameraserver::Guarded([&] {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        const sim::Fault fault = sim::FaultySource::DecideBeforeLoad("DllGetClassObject");
        if (fault.fails || fault.handsOutNull) {
            cameraserver::LogClassObject(clsid, iid, fault.status);
            return fault.status;
        }
        return cameraserver::HandOutClassObject(clsid, iid, object, [] {
            return static_cast<cameraserver::ClassFactory*>(new sim::SimFactory());
        });
    });
}
