// Activation of COM classes: per-thread initialization, a class registry of factories
// registered in this process, and component plugins.
//
// A plugin is a shared object exporting DllGetClassObject, found as a Windows DLL is
// found through HKCR\CLSID\{clsid}\InprocServer32 (PluginRegistry.h: the user's registry,
// then the system's), by an absolute path, and loaded as PluginModule.h says (as root only
// what no one else can change).  A plugin stays loaded until the process ends.
// It calls the runtime (BSTR, VARIANT, error information) of the program that loads it:
// executables export their symbols for it (platform/CMakeLists.txt), and a plugin whose
// calls find nothing to bind to fails to load (CO_E_DLLNOTFOUND).
#include "platform/Platform.h"
#include "platform/posix/PluginModule.h"
#include "platform/posix/PluginRegistry.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

thread_local int threadInitializations = 0;

struct RegisteredClass {
    DWORD cookie;
    CLSID clsid;
    DWORD context;
    IUnknown* factory;
};

class ClassTable {
public:
    DWORD Add(REFCLSID clsid, DWORD context, IUnknown* factory) {
        std::lock_guard<std::mutex> lock(mutex_);
        factory->AddRef();
        classes_.push_back(RegisteredClass{++lastCookie_, clsid, context, factory});
        return lastCookie_;
    }

    // The factory that was registered under `cookie`, for the caller to release; null if none.
    IUnknown* Remove(DWORD cookie) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = std::find_if(classes_.begin(), classes_.end(),
                                  [cookie](const RegisteredClass& c) { return c.cookie == cookie; });
        if (found == classes_.end()) {
            return nullptr;
        }
        IUnknown* factory = found->factory;
        classes_.erase(found);
        return factory;
    }

    // A new reference to the factory registered for the class in one of the contexts; null if none.
    IUnknown* Find(REFCLSID clsid, DWORD context) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const RegisteredClass& c : classes_) {
            if (IsEqualCLSID(c.clsid, clsid) && (c.context & context) != 0) {
                c.factory->AddRef();
                return c.factory;
            }
        }
        return nullptr;
    }

private:
    std::mutex mutex_;
    std::vector<RegisteredClass> classes_;
    DWORD lastCookie_ = 0;
};

ClassTable& RegisteredClasses() {
    static ClassTable table;
    return table;
}

using GetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, LPVOID*);

HRESULT GetPluginClassObject(REFCLSID clsid, REFIID riid, LPVOID* object) {
    std::string path;
    const HRESULT found = platform::posix::RegisteredPluginPath(clsid, path);
    if (FAILED(found)) {
        return found;
    }
    if (path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    // Only an absolute path is loaded: a relative one would be searched for by the loader or
    // taken from the working folder, running whatever lies there.
    if (path[0] != '/') {
        return CO_E_DLLNOTFOUND;
    }
    // Never closed: objects of the plugin may live until the process ends.
    void* plugin = nullptr;
    const HRESULT loaded = platform::posix::LoadPluginModule(path, &plugin);
    if (FAILED(loaded)) {
        return loaded;
    }
    void* symbol = dlsym(plugin, "DllGetClassObject");
    if (symbol == nullptr) {
        return CO_E_ERRORINDLL;
    }
    GetClassObjectFunction getClassObject;
    static_assert(sizeof getClassObject == sizeof symbol, "dlsym hands out function addresses as data pointers");
    std::memcpy(&getClassObject, &symbol, sizeof symbol);
    HRESULT status = getClassObject(clsid, riid, object);
    // A plugin that reports success without an object has failed.
    if (SUCCEEDED(status) && *object == nullptr) {
        status = CO_E_ERRORINDLL;
    }
    if (FAILED(status)) {
        *object = nullptr;
    }
    return status;
}

}  // namespace

// The runtime services a plugin may call.  A program that can load a plugin calls
// CoGetClassObject, defined here; naming the services here links them into that program
// too, where it exports them to the plugin.
struct PluginRuntime {
    BSTR (*sysAllocString)(const OLECHAR*);
    BSTR (*sysAllocStringLen)(const OLECHAR*, UINT);
    BSTR (*sysAllocStringByteLen)(LPCSTR, UINT);
    void (*sysFreeString)(BSTR);
    UINT (*sysStringLen)(BSTR);
    UINT (*sysStringByteLen)(BSTR);
    void (*variantInit)(VARIANTARG*);
    HRESULT (*variantClear)(VARIANTARG*);
    HRESULT (*variantCopy)(VARIANTARG*, const VARIANTARG*);
    HRESULT (*getErrorInfo)(ULONG, IErrorInfo**);
    HRESULT (*setErrorInfo)(ULONG, IErrorInfo*);
    LPVOID (*coTaskMemAlloc)(SIZE_T);
    void (*coTaskMemFree)(LPVOID);
    bool (*isEqualGuid)(REFGUID, REFGUID);
};
namespace {

// Each entry by name: two entries of the same type cannot swap places unnoticed.
constexpr PluginRuntime MakePluginRuntime() {
    PluginRuntime runtime{};
    runtime.sysAllocString = SysAllocString;
    runtime.sysAllocStringLen = SysAllocStringLen;
    runtime.sysAllocStringByteLen = SysAllocStringByteLen;
    runtime.sysFreeString = SysFreeString;
    runtime.sysStringLen = SysStringLen;
    runtime.sysStringByteLen = SysStringByteLen;
    runtime.variantInit = VariantInit;
    runtime.variantClear = VariantClear;
    runtime.variantCopy = VariantCopy;
    runtime.getErrorInfo = GetErrorInfo;
    runtime.setErrorInfo = SetErrorInfo;
    runtime.coTaskMemAlloc = CoTaskMemAlloc;
    runtime.coTaskMemFree = CoTaskMemFree;
    runtime.isEqualGuid = IsEqualGUID;
    return runtime;
}

}  // namespace

extern const PluginRuntime kPluginRuntime;
const PluginRuntime kPluginRuntime = MakePluginRuntime();

HRESULT CoInitialize(LPVOID /*reserved*/) {
    return ++threadInitializations == 1 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (threadInitializations == 0) {
        return;
    }
    if (--threadInitializations == 0) {
        SetErrorInfo(0, nullptr);
    }
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID /*reserved*/, REFIID riid, LPVOID* object) {
    if (object == nullptr) {
        return E_INVALIDARG;
    }
    *object = nullptr;
    if (threadInitializations == 0) {
        return CO_E_NOTINITIALIZED;
    }
    if (IUnknown* factory = RegisteredClasses().Find(clsid, context)) {
        HRESULT status = factory->QueryInterface(riid, object);
        factory->Release();
        if (SUCCEEDED(status) && *object == nullptr) {
            status = E_NOINTERFACE;  // a success without the interface is a refusal
        }
        if (FAILED(status)) {
            *object = nullptr;
        }
        return status;
    }
    if ((context & CLSCTX_INPROC_SERVER) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    return GetPluginClassObject(clsid, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT status = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, reinterpret_cast<LPVOID*>(&factory));
    if (FAILED(status)) {
        return status;
    }
    status = factory->CreateInstance(outer, riid, object);
    factory->Release();
    // A factory that reports success without an object has failed to create one.
    if (SUCCEEDED(status) && *object == nullptr) {
        status = E_UNEXPECTED;
    }
    if (FAILED(status)) {
        *object = nullptr;
    }
    return status;
}

HRESULT CoRegisterClassObject(REFCLSID clsid, LPUNKNOWN factory, DWORD context, DWORD /*flags*/,
                              LPDWORD cookie) {
    if (factory == nullptr || cookie == nullptr) {
        return E_INVALIDARG;
    }
    if (threadInitializations == 0) {
        return CO_E_NOTINITIALIZED;
    }
    *cookie = RegisteredClasses().Add(clsid, context, factory);
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown* factory = RegisteredClasses().Remove(cookie);
    if (factory == nullptr) {
        return E_INVALIDARG;
    }
    factory->Release();
    return S_OK;
}

HRESULT OleRun(LPUNKNOWN object) {
    if (object == nullptr) {
        return E_INVALIDARG;
    }
    IRunnableObject* runnable = nullptr;
    if (FAILED(object->QueryInterface(IID_IRunnableObject, reinterpret_cast<void**>(&runnable))) ||
        runnable == nullptr) {
        return S_OK;  // an object that cannot be started is running already
    }
    const HRESULT status = runnable->Run(nullptr);
    runnable->Release();
    return status;
}
