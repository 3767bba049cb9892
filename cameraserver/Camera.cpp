#include "cameraserver/Camera.h"

#include "cameraserver/ErrorObject.h"

namespace cameraserver {

namespace {
// ERROR_DEVICE_NOT_CONNECTED as a status.
const HRESULT kDeviceGone = static_cast<HRESULT>(0x8007048Fu);
}  // namespace

Camera::Camera(std::shared_ptr<Source> source, std::size_t position)
    : DispatchObject<CameraItem>("Camera", std::move(source), "position=" + std::to_string(position)),
      position_(position),
      support_(*this, Name(), kItemId) {}

void* Camera::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, kItemId)) {
        return static_cast<CameraItem*>(this);
    }
    if (IsEqualGUID(iid, IID_ISupportErrorInfo)) {
        return static_cast<ISupportErrorInfo*>(&support_);
    }
    return nullptr;
}

HRESULT Camera::GetDrivePath(BSTR* path) {
    return Guarded([&] { return HandOut("GetDrivePath", path, S_OK); });
}

HRESULT Camera::GetModelName(BSTR* name) {
    return Guarded([&] { return HandOut("GetModelName", name, S_OK); });
}

HRESULT Camera::HandOut(const std::string& operation, BSTR* out, HRESULT status) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!source_->Present(position_)) {
        LogCall(operation, kDeviceGone, ReportFailure(kItemId, operation, kDeviceGone, true));
        return kDeviceGone;
    }
    // The drive path is looked up only now: the source may wait for the card's mount.
    const bool isName = operation == "GetModelName";
    const ReportedText text = isName ? source_->ModelName(position_) : source_->DrivePath(position_);
    if (!text.absent) {
        *out = SysAllocStringLen(text.units.c_str(), static_cast<UINT>(text.units.size()));
        if (*out == nullptr) {
            LogCall(operation, E_OUTOFMEMORY);
            return E_OUTOFMEMORY;
        }
    }
    LogCall(operation, status, (isName ? "name=" : "path=") + Quoted(text));
    return status;
}

std::string HandOutCamera(const std::shared_ptr<Source>& source, std::size_t position, VARIANT* item) {
    MakeEmpty(item);
    auto* camera = new Camera(source, position);
    item->vt = VT_DISPATCH;
    item->pdispVal = camera;
    return "VT_DISPATCH:" + camera->Name();
}

void MakeEmpty(VARIANT* item) {
    VariantInit(item);
    item->punkVal = nullptr;
}

}  // namespace cameraserver
