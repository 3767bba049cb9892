#include "Camera.h"

#include "ErrorObject.h"

namespace cameraserver {

Camera::Camera(std::shared_ptr<Source> source, std::size_t position)
    : DispatchObject<CameraItem>("Camera", std::move(source), "position=" + std::to_string(position)),
      position_(position),
      support_(*this, Name(), kItemId) {}

void* Camera::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, kItemId)) {
        return static_cast<CameraItem*>(this);
    }
    if (IsEqualGUID(iid, IID_ISupportErrorInfo) && source_->Cameras().supportsErrorInfo) {
        return static_cast<ISupportErrorInfo*>(&support_);
    }
    return nullptr;
}

HRESULT Camera::GetDrivePath(BSTR* path) {
    return HandOut("GetDrivePath", path);
}

HRESULT Camera::GetModelName(BSTR* name) {
    return HandOut("GetModelName", name);
}

HRESULT Camera::HandOut(const std::string& operation, BSTR* out) {
    return Guarded([&] {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        const Outcome outcome = source_->DecideForCamera(operation, position_);
        if (outcome.fails) {
            LogCall(operation, outcome.status, ReportFailure(outcome, kItemId, operation));
            return outcome.status;
        }
        // The drive path is looked up only now: the source may wait for the card's mount.
        const bool isName = operation == "GetModelName";
        const ReportedText text = isName ? source_->Cameras().cameras[position_].model : source_->DrivePath(position_);
        const bool none = outcome.handsOutNull || text.absent;
        if (!none) {
            *out = SysAllocStringLen(text.units.c_str(), static_cast<UINT>(text.units.size()));
            if (*out == nullptr) {
                LogCall(operation, E_OUTOFMEMORY);
                return E_OUTOFMEMORY;
            }
        }
        const char* key = isName ? "name=" : "path=";
        LogCall(operation, outcome.status, key + Quoted(none ? ReportedText{true, {}} : text));
        return outcome.status;
    });
}

NotCamera::NotCamera(std::shared_ptr<Source> source, std::size_t position)
    : DispatchObject<IDispatch>("Item", std::move(source), "position=" + std::to_string(position)) {}

void* NotCamera::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch)) {
        return static_cast<IDispatch*>(this);
    }
    return nullptr;
}

void MakeEmpty(VARIANT* item) {
    VariantInit(item);
    item->punkVal = nullptr;
}

namespace {

// What a VT_BYREF|VT_DISPATCH item refers to: an object pointer that is null, so the item
// owns nothing and stays valid for as long as the module is loaded.
IDispatch* g_referencedNothing = nullptr;

// A VT_I4 value that, read as a pointer, points nowhere a process maps.
constexpr LONG kNumberItem = 0x0BADF00D;

}  // namespace

std::string MakeItem(const std::shared_ptr<Source>& source, std::size_t position, ItemKind kind,
                     VARIANT* item) {
    if (kind == ItemKind::Untouched) {
        return "untouched";
    }
    MakeEmpty(item);
    const CameraEntry& entry = source->Cameras().cameras[position];
    if (kind == ItemKind::Text) {
        item->vt = VT_BSTR;
        item->bstrVal = SysAllocStringLen(entry.model.units.c_str(), static_cast<UINT>(entry.model.units.size()));
        return "VT_BSTR:" + Quoted(entry.model);
    }
    if (kind == ItemKind::Number) {
        item->vt = VT_I4;
        item->lVal = kNumberItem;
        return "VT_I4:" + std::to_string(kNumberItem);
    }
    if (kind == ItemKind::Reference) {
        item->vt = static_cast<VARTYPE>(VT_BYREF | VT_DISPATCH);
        item->byref = &g_referencedNothing;
        return "VT_BYREF|VT_DISPATCH:null";
    }
    const VARTYPE type = entry.type;
    const std::string tag = type == VT_DISPATCH ? "VT_DISPATCH:" : "VT_UNKNOWN:";
    // One pointer serves VT_DISPATCH and VT_UNKNOWN alike: IDispatch begins with IUnknown.
    if (kind == ItemKind::Camera) {
        auto* camera = new Camera(source, position);
        item->vt = type;
        item->pdispVal = camera;
        return tag + camera->Name();
    }
    if (kind == ItemKind::NoCamera) {
        auto* other = new NotCamera(source, position);
        item->vt = type;
        item->pdispVal = other;
        return tag + other->Name();
    }
    return "VT_EMPTY";
}

}  // namespace cameraserver
