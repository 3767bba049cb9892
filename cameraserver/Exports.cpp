// The entry points of the in-process server, the same on Windows (DLL) and POSIX (plugin).
#include "ClassFactory.h"
#include "ServerInterfaces.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return cameraserver::Guarded([&] {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        HRESULT status = CLASS_E_CLASSNOTAVAILABLE;
        const cameraserver::Outcome outcome = cameraserver::DecideBeforeOpen("DllGetClassObject");
        if (outcome.fails || outcome.handsOutNull) {
            status = outcome.status;
        } else if (IsEqualGUID(clsid, cameraserver::kClassId)) {
            auto* factory = new cameraserver::ClassFactory();
            status = factory->QueryInterface(iid, object);
            factory->Release();
        }
        cameraserver::Log("call DllGetClassObject clsid=" + cameraserver::GuidText(clsid) + " iid=" + cameraserver::InterfaceName(iid) + " -> " +
                 cameraserver::StatusText(status));
        return status;
    });
}

STDAPI DllCanUnloadNow() {
    return cameraserver::Guarded([&] {
        const std::size_t live = cameraserver::LiveObjects();
        const long locks = cameraserver::ServerLocks();
        const HRESULT status = live == 0 && locks == 0 ? S_OK : S_FALSE;
        cameraserver::Log("canunload live=" + std::to_string(live) + " locks=" + std::to_string(locks) + " -> " +
                 cameraserver::StatusText(status));
        return status;
    });
}
