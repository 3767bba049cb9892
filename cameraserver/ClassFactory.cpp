#include "cameraserver/ClassFactory.h"

#include "cameraserver/ComponentDescription.h"
#include "cameraserver/Manager.h"

namespace cameraserver {

ClassFactory::ClassFactory() : ServerObject<IClassFactory>("Factory", nullptr) {}

void* ClassFactory::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
        return static_cast<IClassFactory*>(this);
    }
    return nullptr;
}

Manager* ClassFactory::NewManager(HRESULT& status) {
    std::shared_ptr<Source> source = ThisComponent().openSource(status);
    return source != nullptr ? new Manager(std::move(source)) : nullptr;
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
        Manager* manager = NewManager(status);
        if (manager == nullptr) {
            LogCall("CreateInstance", status, "object=null", arguments);
            return status;
        }
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

HRESULT HandOutClassObject(REFCLSID clsid, REFIID iid, void** object, ClassFactory* (*make)()) {
    HRESULT status = CLASS_E_CLASSNOTAVAILABLE;
    if (IsEqualGUID(clsid, kClassId)) {
        ClassFactory* factory = make();
        status = factory->QueryInterface(iid, object);
        factory->Release();
    }
    LogClassObject(clsid, iid, status);
    return status;
}

void LogClassObject(REFCLSID clsid, REFIID iid, HRESULT status) {
    Log("call DllGetClassObject clsid=" + GuidText(clsid) + " iid=" + InterfaceName(iid) + " -> " +
        StatusText(status));
}

}  // namespace cameraserver
