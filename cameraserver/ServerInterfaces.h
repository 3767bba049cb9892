// The camera-access component's interfaces as the component itself declares them.
//
// Declared here a second time on purpose, from the component's own description and not
// from the utility's camera/CameraInterfaces.h: the components built on this library stand
// for the camera maker's, so a mistake in the utility's declarations (an operation out of
// order, a wrong identity) shows in the tests instead of being shared by both sides.  The names
// are the same, as they would be from the maker's type library; the undefined-behaviour
// sanitizer matches an object to the interface it is called through by these names.
#pragma once

#include "platform/Platform.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM interfaces have no destructor

struct CameraCollection;

struct CameraManager : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetCameraCollection(CameraCollection** collection) = 0;
};

struct CameraCollection : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetCameraCount(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCameraAt(VARIANT index, VARIANT* camera) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCameraEnumerator(IUnknown** enumerator) = 0;
};

struct CameraItem : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) = 0;
};

#pragma GCC diagnostic pop

namespace cameraserver {

// {FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}
constexpr CLSID kClassId = {0xFB803D0D, 0xEC2B, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};
constexpr IID kManagerId = {0xFB803D0C, 0xEC2B, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};
constexpr IID kCollectionId = {0xFB803D0F, 0xEC2B, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};
constexpr IID kItemId = {0xD930B1A0, 0xEC33, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};

}  // namespace cameraserver
