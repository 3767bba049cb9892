#include "Collection.h"

#include "Camera.h"
#include "Enumerator.h"
#include "ErrorObject.h"

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
    if (IsEqualGUID(iid, IID_ISupportErrorInfo) && source_->Cameras().supportsErrorInfo) {
        return static_cast<ISupportErrorInfo*>(&support_);
    }
    return nullptr;
}

HRESULT Collection::Fail(const std::string& operation, const Outcome& outcome, const std::string& arguments) {
    LogCall(operation, outcome.status, ReportFailure(outcome, kCollectionId, operation), arguments);
    return outcome.status;
}

HRESULT Collection::GetCameraCount(LONG* count) {
    return Guarded([&] {
        if (count == nullptr) {
            return E_POINTER;
        }
        const Outcome outcome = source_->Decide("GetCameraCount");
        if (outcome.fails) {
            return Fail("GetCameraCount", outcome);
        }
        *count = source_->ReportedCount();
        LogCall("GetCameraCount", outcome.status, "count=" + std::to_string(*count));
        return outcome.status;
    });
}

HRESULT Collection::GetCameraAt(VARIANT index, VARIANT* camera) {
    return Guarded([&] {
        if (camera == nullptr) {
            return E_POINTER;
        }
        const std::string arguments = index.vt == VT_I4 ? "index=VT_I4:" + std::to_string(index.lVal)
                                                        : "index=VT_" + std::to_string(index.vt);
        const Outcome outcome = source_->Decide("GetCameraAt");
        // Emptied on every path but an `untouched` camera's, which leaves it as it came.
        if (outcome.fails) {
            MakeEmpty(camera);
            return Fail("GetCameraAt", outcome, arguments);
        }
        if (index.vt != VT_I4) {
            MakeEmpty(camera);
            LogCall("GetCameraAt", kTypeMismatch, "", arguments);
            return kTypeMismatch;
        }
        const auto& cameras = source_->Cameras().cameras;
        const long long shifted = static_cast<long long>(index.lVal) + source_->Cameras().atOffset;
        if (shifted < 0 || static_cast<std::size_t>(shifted) >= cameras.size()) {
            MakeEmpty(camera);
            LogCall("GetCameraAt", DISP_E_BADINDEX, "", arguments);
            return DISP_E_BADINDEX;
        }
        const auto position = static_cast<std::size_t>(shifted);
        std::string handedOut = "VT_EMPTY";
        if (outcome.handsOutNull) {
            MakeEmpty(camera);
        } else {
            handedOut = MakeItem(source_, position, cameras[position].selected, camera);
        }
        LogCall("GetCameraAt", outcome.status, "camera=" + handedOut, arguments);
        return outcome.status;
    });
}

HRESULT Collection::GetCameraEnumerator(IUnknown** enumerator) {
    return Guarded([&] {
        if (enumerator == nullptr) {
            return E_POINTER;
        }
        *enumerator = nullptr;
        const Outcome outcome = source_->Decide("GetCameraEnumerator");
        if (outcome.fails) {
            return Fail("GetCameraEnumerator", outcome);
        }
        std::string handedOut = "null";
        if (!outcome.handsOutNull) {
            auto* created = new Enumerator(source_);
            *enumerator = created;
            handedOut = created->Name();
        }
        LogCall("GetCameraEnumerator", outcome.status, "enumerator=" + handedOut);
        return outcome.status;
    });
}

}  // namespace cameraserver
