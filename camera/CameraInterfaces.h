// The contract with the camera software's camera-access component: its class identity
// and its three interfaces.
//
// The component lies outside this system.  The vtable order below is the component's
// binary layout and must not change: IUnknown's three operations, IDispatch's four, then
// each interface's own operations in the order given.  Whatever an operation hands out
// belongs to the caller and is released once: references by Release, BSTRs by the
// WideStringHandle that takes them over, VARIANTs by clearing.
#pragma once

#include "platform/Platform.h"

#include "com/InterfaceRef.h"

// Like every COM interface these have no destructor: see platform/posix/Win32Api.h.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"

struct CameraCollection;

// The component's entry object: activation asks the created object for it.
struct CameraManager : IDispatch {
    // The list of connected cameras, handed out already as CameraCollection; may be null.
    virtual HRESULT STDMETHODCALLTYPE GetCameraCollection(CameraCollection** collection) = 0;
};

struct CameraCollection : IDispatch {
    // The number of cameras that the enumerator yields.
    virtual HRESULT STDMETHODCALLTYPE GetCameraCount(LONG* count) = 0;
    // The camera at `index` (VT_I4, counted from 0 in the enumerator's order after
    // Reset), as a VARIANT whose interface-pointer field holds it.
    virtual HRESULT STDMETHODCALLTYPE GetCameraAt(VARIANT index, VARIANT* camera) = 0;
    // An object to ask for IEnumVARIANT; may be null.
    virtual HRESULT STDMETHODCALLTYPE GetCameraEnumerator(IUnknown** enumerator) = 0;
};

struct CameraItem : IDispatch {
    // The path under which the camera's memory card is reached: it begins with the drive
    // letter and ends with a path separator.
    virtual HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) = 0;
    // The model name the camera reports; may be null.
    virtual HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) = 0;
};

#pragma GCC diagnostic pop

extern const CLSID CLSID_CameraAccessComponent;
extern const IID IID_CameraManager;
extern const IID IID_CameraCollection;
extern const IID IID_CameraItem;

template <>
struct InterfaceIdentity<CameraManager> {
    static const IID& Get() noexcept { return IID_CameraManager; }
};
template <>
struct InterfaceIdentity<CameraCollection> {
    static const IID& Get() noexcept { return IID_CameraCollection; }
};
template <>
struct InterfaceIdentity<CameraItem> {
    static const IID& Get() noexcept { return IID_CameraItem; }
};
