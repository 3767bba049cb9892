// The entry points of the in-process server, the same on Windows (DLL) and POSIX (plugin).
#include "ClassFactory.h"
#include "SimInterfaces.h"

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return sim::Guarded([&] {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        HRESULT status = CLASS_E_CLASSNOTAVAILABLE;
        const sim::Outcome outcome = sim::Component::DecideBeforeLoad("DllGetClassObject");
        if (outcome.fails || outcome.handsOutNull) {
            status = outcome.status;
        } else if (IsEqualGUID(clsid, sim::kClassId)) {
            auto* factory = new sim::ClassFactory();
            status = factory->QueryInterface(iid, object);
            factory->Release();
        }
        sim::Log("call DllGetClassObject clsid=" + sim::GuidText(clsid) + " iid=" + sim::InterfaceName(iid) + " -> " +
                 sim::StatusText(status));
        return status;
    });
}

STDAPI DllCanUnloadNow() {
    return sim::Guarded([&] {
        const std::size_t live = sim::LiveObjects();
        const long locks = sim::ServerLocks();
        const HRESULT status = live == 0 && locks == 0 ? S_OK : S_FALSE;
        sim::Log("canunload live=" + std::to_string(live) + " locks=" + std::to_string(locks) + " -> " +
                 sim::StatusText(status));
        return status;
    });
}
