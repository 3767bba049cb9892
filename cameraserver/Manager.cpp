#include "Manager.h"

#include "Collection.h"
#include "ErrorObject.h"

namespace cameraserver {

Manager::Manager(std::shared_ptr<Source> source)
    : DispatchObject<CameraManager>("Manager", std::move(source)),
      runnable_(*this),
      support_(*this, Name(), kManagerId) {}

void* Manager::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, kManagerId)) {
        return static_cast<CameraManager*>(this);
    }
    if (IsEqualGUID(iid, IID_IRunnableObject)) {
        return static_cast<IRunnableObject*>(&runnable_);
    }
    if (IsEqualGUID(iid, IID_ISupportErrorInfo) && source_->Cameras().supportsErrorInfo) {
        return static_cast<ISupportErrorInfo*>(&support_);
    }
    return nullptr;
}

HRESULT Manager::Refusal(REFIID iid) {
    if (!IsEqualGUID(iid, kManagerId)) {
        return S_OK;
    }
    const Outcome outcome = source_->Decide("QueryInterface.CameraManager");
    return outcome.fails ? outcome.status : S_OK;
}

HRESULT Manager::GetCameraCollection(CameraCollection** collection) {
    return Guarded([&] {
        if (collection == nullptr) {
            return E_POINTER;
        }
        *collection = nullptr;
        const Outcome outcome = source_->Decide("GetCameraCollection");
        if (outcome.fails) {
            LogCall("GetCameraCollection", outcome.status, ReportFailure(outcome, kManagerId, "GetCameraCollection"));
            return outcome.status;
        }
        std::string handedOut = "null";
        if (!outcome.handsOutNull) {
            auto* created = new Collection(source_);
            *collection = created;
            handedOut = created->Name();
        }
        LogCall("GetCameraCollection", outcome.status, "collection=" + handedOut);
        return outcome.status;
    });
}

HRESULT Manager::Runnable::GetRunningClass(CLSID* clsid) {
    if (clsid == nullptr) {
        return E_POINTER;
    }
    *clsid = kClassId;
    return S_OK;
}

HRESULT Manager::Runnable::Run(IBindCtx* /*context*/) {
    return Guarded([&] {
        const Outcome outcome = owner_.source_->Decide("Run");
        running_ = !outcome.fails;
        owner_.LogCall("Run", outcome.status);
        return outcome.status;
    });
}

BOOL Manager::Runnable::IsRunning() {
    owner_.LogCall("IsRunning", running_ ? S_OK : S_FALSE);
    return running_ ? TRUE : FALSE;
}

HRESULT Manager::Runnable::LockRunning(BOOL /*lock*/, BOOL /*lastUnlockCloses*/) {
    return S_OK;
}

HRESULT Manager::Runnable::SetContainedObject(BOOL /*contained*/) {
    return S_OK;
}

}  // namespace cameraserver
