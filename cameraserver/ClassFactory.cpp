#include "ClassFactory.h"

#include "Manager.h"

namespace cameraserver {

ClassFactory::ClassFactory() : ServerObject<IClassFactory>("Factory", nullptr) {}

void* ClassFactory::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
        return static_cast<IClassFactory*>(this);
    }
    return nullptr;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    return Guarded([&] {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        const std::string arguments = "iid=" + InterfaceName(iid);
        if (outer != nullptr) {
            LogCall("CreateInstance", CLASS_E_NOAGGREGATION, "", arguments);
            return CLASS_E_NOAGGREGATION;
        }
        HRESULT status = S_OK;
        std::shared_ptr<Source> source = OpenSource(status);
        if (source == nullptr) {
            LogCall("CreateInstance", status, "", arguments);
            return status;
        }
        const Outcome outcome = source->Decide("CreateInstance");
        if (outcome.fails || outcome.handsOutNull) {
            LogCall("CreateInstance", outcome.status, outcome.handsOutNull ? "object=null" : "", arguments);
            return outcome.status;
        }
        auto* manager = new Manager(source);
        LogCall("CreateInstance", S_OK, "object=" + manager->Name(), arguments);
        status = manager->QueryInterface(iid, object);
        manager->Release();
        return status;
    });
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    cameraserver::LockServer(lock != FALSE);
    LogCall("LockServer", S_OK, "", lock != FALSE ? "lock=1" : "lock=0");
    return S_OK;
}

}  // namespace cameraserver
