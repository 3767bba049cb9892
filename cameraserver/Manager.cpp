#include "cameraserver/Manager.h"

#include "cameraserver/Collection.h"

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
    if (IsEqualGUID(iid, IID_ISupportErrorInfo)) {
        return static_cast<ISupportErrorInfo*>(&support_);
    }
    return nullptr;
}

HRESULT Manager::GetCameraCollection(CameraCollection** collection) {
    return Guarded([&] { return HandOutCollection(collection, S_OK); });
}

HRESULT Manager::HandOutCollection(CameraCollection** collection, HRESULT status) {
    if (collection == nullptr) {
        return E_POINTER;
    }
    Collection* created = NewCollection();
    *collection = created;
    LogCall("GetCameraCollection", status, "collection=" + created->Name());
    return status;
}

Collection* Manager::NewCollection() {
    return new Collection(source_);
}

HRESULT Manager::Start() {
    return S_OK;
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
        const HRESULT status = owner_.Start();
        running_ = SUCCEEDED(status);
        owner_.LogCall("Run", status);
        return status;
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
