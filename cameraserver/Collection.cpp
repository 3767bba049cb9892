#include "cameraserver/Collection.h"

#include "cameraserver/Camera.h"
#include "cameraserver/Enumerator.h"

namespace cameraserver {

namespace {
// DISP_E_TYPEMISMATCH: an index that is no number.
const HRESULT kTypeMismatch = static_cast<HRESULT>(0x80020005u);
}  // namespace

Collection::Collection(std::shared_ptr<Source> source)
    : DispatchObject<CameraCollection>("Collection", std::move(source)), support_(*this, Name(), kCollectionId) {}

void* Collection::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, kCollectionId)) {
        return static_cast<CameraCollection*>(this);
    }
    if (IsEqualGUID(iid, IID_ISupportErrorInfo)) {
        return static_cast<ISupportErrorInfo*>(&support_);
    }
    return nullptr;
}

HRESULT Collection::GetCameraCount(LONG* count) {
    return Guarded([&] { return ReportCount(count, static_cast<LONG>(source_->Count()), S_OK); });
}

HRESULT Collection::GetCameraAt(VARIANT index, VARIANT* camera) {
    return Guarded([&] { return HandOutCameraAt(index, camera, S_OK); });
}

HRESULT Collection::GetCameraEnumerator(IUnknown** enumerator) {
    return Guarded([&] { return HandOutEnumerator(enumerator, S_OK); });
}

HRESULT Collection::ReportCount(LONG* count, LONG value, HRESULT status) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = value;
    LogCall("GetCameraCount", status, "count=" + std::to_string(value));
    return status;
}

HRESULT Collection::HandOutCameraAt(VARIANT index, VARIANT* camera, HRESULT status) {
    if (camera == nullptr) {
        return E_POINTER;
    }
    const std::string arguments = IndexWords(index);
    HRESULT result = kTypeMismatch;
    std::string handedOut;
    if (index.vt == VT_I4) {
        result = Select(index.lVal, camera, handedOut);
    }
    if (FAILED(result)) {
        MakeEmpty(camera);
        LogCall("GetCameraAt", result, "", arguments);
        return result;
    }
    LogCall("GetCameraAt", status, "camera=" + handedOut, arguments);
    return status;
}

HRESULT Collection::Select(LONG index, VARIANT* item, std::string& handedOut) {
    if (index < 0 || static_cast<std::size_t>(index) >= source_->Count()) {
        return DISP_E_BADINDEX;
    }
    handedOut = HandOutCamera(source_, static_cast<std::size_t>(index), item);
    return S_OK;
}

HRESULT Collection::HandOutEnumerator(IUnknown** enumerator, HRESULT status) {
    if (enumerator == nullptr) {
        return E_POINTER;
    }
    Enumerator* created = NewEnumerator();
    *enumerator = created;
    LogCall("GetCameraEnumerator", status, "enumerator=" + created->Name());
    return status;
}

Enumerator* Collection::NewEnumerator() {
    return new Enumerator(source_);
}

}  // namespace cameraserver
