#include "camera/CameraCalls.h"

#include "camera/ComCall.h"
#include "platform/SystemApi.h"
#include "trace/TraceFlags.h"

namespace camera {

namespace {
// In-process server, in-process handler and local server: wherever the software put it.
constexpr DWORD kActivationContext = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

// The camera component the release carries in a folder of its own beside the program
// (tools/packaging/release/release_zip.py), relative to the program's folder.
const OLECHAR kComponentBesideProgram[] = OLESTR("usbcamera\\usbcamera.dll");

const char* Why(platform::SideBySideStep step) {
    switch (step) {
        case platform::SideBySideStep::kUnsupported:
            return "this system has no side-by-side components";
        case platform::SideBySideStep::kProgramFolder:
            return "the program's folder is unknown";
        case platform::SideBySideStep::kContext:
            return "no activation context from its manifest (no folder or file, not a DLL, or no manifest)";
        case platform::SideBySideStep::kActivation:
            return "its activation context could not be activated";
        case platform::SideBySideStep::kCreation:
            break;
    }
    return "its creation failed";
}

// The component beside the program, created into `created`; its status.
HRESULT CreateBesideProgram(InterfaceRef<IUnknown>& created, TraceScope& trace) {
    platform::SideBySideStep step = platform::SideBySideStep::kUnsupported;
    const HRESULT status =
        platform::sys.CoCreateSideBySide(kComponentBesideProgram, CLSID_CameraAccessComponent, nullptr,
                                         kActivationContext, IID_IUnknown, reinterpret_cast<LPVOID*>(created.Put()), &step);
    if ((TraceFlags & TraceProgress) != 0) {
        if (SUCCEEDED(status)) {
            trace.Print("No camera component registered: created the one beside the program (%ls).",
                        kComponentBesideProgram);
        } else {
            trace.Print("No camera component registered, and none beside the program (%ls): %s (0x%08lX).",
                        kComponentBesideProgram, Why(step), static_cast<DWORD>(status));
        }
    }
    return status;
}

}  // namespace

void ActivateCameraManager(InterfaceRef<CameraManager>& manager, TraceScope& trace) {
    manager.Reset();
    InterfaceRef<IUnknown> created;
    HRESULT status = platform::sys.CoCreateInstance(CLSID_CameraAccessComponent, nullptr, kActivationContext,
                                                    IID_IUnknown, reinterpret_cast<LPVOID*>(created.Put()));
    // Only a class nobody registered is looked for beside the program: any other failure
    // is the registered server's, which keeps the class.
    if (status == REGDB_E_CLASSNOTREG) {
        status = CreateBesideProgram(created, trace);
    }
    if (SUCCEEDED(status) && !created.IsEmpty() && SUCCEEDED(OleRun(created.Get()))) {
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
