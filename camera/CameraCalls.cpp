#include "camera/CameraCalls.h"

#include "camera/ComCall.h"
#include "platform/SystemApi.h"

namespace camera {

namespace {
// In-process server, in-process handler and local server: wherever the software put it.
constexpr DWORD kActivationContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
}  // namespace

void ActivateCameraManager(InterfaceRef<CameraManager>& manager) noexcept {
    manager.Reset();
    InterfaceRef<IUnknown> created;
    if (SUCCEEDED(platform::sys.CoCreateInstance(CLSID_CameraAccessComponent, nullptr, kActivationContext,
                                                 IID_IUnknown, reinterpret_cast<LPVOID*>(created.Put()))) &&
        !created.IsEmpty() && SUCCEEDED(OleRun(created.Get()))) {
        manager.Query(created.Get());
    }
}

void GetCameraCollection(const InterfaceRef<CameraManager>& manager, InterfaceRef<CameraCollection>& collection) {
    CheckCall(manager->GetCameraCollection(collection.Put()), manager.Get());
}

LONG GetCameraCount(const InterfaceRef<CameraCollection>& collection) {
    LONG count = 0;
    CheckCall(collection->GetCameraCount(&count), collection.Get());
    return count;
}

void GetCameraAt(const InterfaceRef<CameraCollection>& collection, const VARIANT& index, VARIANT* camera) {
    CheckCall(collection->GetCameraAt(index, camera), collection.Get());
}

void GetCameraEnumerator(const InterfaceRef<CameraCollection>& collection, InterfaceRef<IEnumVARIANT>& enumerator) {
    InterfaceRef<IUnknown> handedOut;
    CheckCall(collection->GetCameraEnumerator(handedOut.Put()), collection.Get());
    enumerator = handedOut.Get();
}

void ResetEnumerator(const InterfaceRef<IEnumVARIANT>& enumerator) {
    enumerator->Reset();
}

void NextItem(const InterfaceRef<IEnumVARIANT>& enumerator, VARIANT* item) {
    enumerator->Next(1, item, nullptr);
}

void AssignCamera(InterfaceRef<CameraItem>& camera, const VARIANT& item) {
    // Only an object carries a camera: the union of any other type (a string, a number, a
    // reference) is no interface pointer and must never be called as one.
    const bool holdsObject = V_VT(&item) == VT_UNKNOWN || V_VT(&item) == VT_DISPATCH;
    camera = holdsObject ? item.punkVal : nullptr;
}

WideStringHandle GetDrivePath(const InterfaceRef<CameraItem>& camera) {
    BSTR path = nullptr;
    CheckCall(camera->GetDrivePath(&path), camera.Get());
    return WideStringHandle::Attach(path);
}

WideStringHandle GetModelName(const InterfaceRef<CameraItem>& camera) {
    BSTR name = nullptr;
    CheckCall(camera->GetModelName(&name), camera.Get());
    return WideStringHandle::Attach(name);
}

}  // namespace camera
