// DllCanUnloadNow, the same for every component built on this library, on Windows (DLL)
// and POSIX (plugin).  DllGetClassObject is ClassObject.cpp's, or a component's own.
#include "cameraserver/ServerLog.h"

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
