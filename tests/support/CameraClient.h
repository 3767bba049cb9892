// The calls a test makes on a camera component as the utility makes them: activate it,
// walk its cameras, ask one for its model name and drive path.  Shared by the tests of the
// simulated camera and of the USB camera components, Linux and Windows.
#pragma once

#include "cameraserver/ServerInterfaces.h"
#include "com/InterfaceRef.h"
#include "com/ScopedVariant.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace camera_client {

// ERROR_DEVICE_NOT_CONNECTED as a status: a camera's operations once it has gone.
const HRESULT kDeviceGone = static_cast<HRESULT>(0x8007048Fu);

// The text of `text`, ASCII kept and anything else as '?'; frees it.
inline std::string Narrow(BSTR text) {
    std::string narrow;
    if (text != nullptr) {
        for (UINT i = 0; i < SysStringLen(text); ++i) {
            narrow += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
        }
        SysFreeString(text);
    }
    return narrow;
}

inline void OpenCollection(InterfaceRef<CameraCollection>& collection) {
    InterfaceRef<CameraManager> manager;
    ASSERT_EQ(CoCreateInstance(cameraserver::kClassId, nullptr, CLSCTX_INPROC_SERVER, cameraserver::kManagerId,
                               reinterpret_cast<void**>(manager.Put())),
              S_OK);
    ASSERT_EQ(manager->GetCameraCollection(collection.Put()), S_OK);
}

inline void CameraAt(const InterfaceRef<CameraCollection>& collection, LONG position, InterfaceRef<CameraItem>& camera) {
    const ScopedVariant index(position);
    ScopedVariant item;
    ASSERT_EQ(collection->GetCameraAt(index.Value(), item.Receive()), S_OK);
    ASSERT_EQ(item.Value().vt, VT_DISPATCH);
    ASSERT_EQ(item.Value().pdispVal->QueryInterface(cameraserver::kItemId, reinterpret_cast<void**>(camera.Put())),
              S_OK);
}

// The model names in the enumerator's order, after a count that agrees with them.
inline std::vector<std::string> Models() {
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    std::vector<std::string> models;
    if (collection.Get() == nullptr) {
        return models;
    }
    InterfaceRef<IUnknown> object;
    EXPECT_EQ(collection->GetCameraEnumerator(object.Put()), S_OK);
    InterfaceRef<IEnumVARIANT> enumerator;
    EXPECT_EQ(enumerator.Query(object.Get()), S_OK);
    LONG count = -1;
    EXPECT_EQ(collection->GetCameraCount(&count), S_OK);
    EXPECT_EQ(enumerator->Reset(), S_OK);
    for (LONG i = 0; i < count; ++i) {
        ScopedVariant item;
        EXPECT_EQ(enumerator->Next(1, item.Receive(), nullptr), S_OK);
        InterfaceRef<CameraItem> camera;
        EXPECT_EQ(item.Value().pdispVal->QueryInterface(cameraserver::kItemId, reinterpret_cast<void**>(camera.Put())),
                  S_OK);
        BSTR name = nullptr;
        EXPECT_EQ(camera->GetModelName(&name), S_OK);
        models.push_back(Narrow(name));
    }
    ScopedVariant past;
    EXPECT_EQ(enumerator->Next(1, past.Receive(), nullptr), S_FALSE);
    EXPECT_EQ(past.Value().vt, VT_EMPTY);
    return models;
}

// The drive path the camera at `position` reports, and how long it took.
inline std::string DrivePath(LONG position, std::chrono::milliseconds* took = nullptr) {
    InterfaceRef<CameraCollection> collection;
    OpenCollection(collection);
    InterfaceRef<CameraItem> camera;
    if (collection.Get() != nullptr) {
        CameraAt(collection, position, camera);
    }
    if (camera.Get() == nullptr) {
        return "(no camera)";
    }
    BSTR path = nullptr;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(camera->GetDrivePath(&path), S_OK);
    if (took != nullptr) {
        *took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
    return Narrow(path);
}

// Checks that `camera`, gone, fails both operations as the utility's presence check expects:
// ERROR_DEVICE_NOT_CONNECTED, nothing handed out, and error information that says why.
inline void ExpectGone(const InterfaceRef<CameraItem>& camera) {
    BSTR name = nullptr;
    EXPECT_EQ(camera->GetModelName(&name), kDeviceGone);
    EXPECT_EQ(name, nullptr);
    InterfaceRef<ISupportErrorInfo> support;
    ASSERT_EQ(camera->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.Put())), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(cameraserver::kItemId), S_OK);
    InterfaceRef<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.Put()), S_OK);
    EXPECT_NE(info.Get(), nullptr);
    BSTR path = nullptr;
    EXPECT_EQ(camera->GetDrivePath(&path), kDeviceGone);
    EXPECT_EQ(path, nullptr);
}

}  // namespace camera_client
