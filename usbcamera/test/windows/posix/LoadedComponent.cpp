#include "../LoadedComponent.h"

#include <dlfcn.h>

#include <cstring>

#include "cameraserver/ServerInterfaces.h"

namespace {
using GetClassObject = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNow = HRESULT (*)();
}  // namespace

LoadedComponent::LoadedComponent(const std::string& path) {
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* symbol = module_ != nullptr ? dlsym(module_, "DllGetClassObject") : nullptr;
    if (symbol == nullptr) {
        return;
    }
    GetClassObject get = nullptr;
    static_assert(sizeof get == sizeof symbol, "dlsym hands out function addresses as data pointers");
    std::memcpy(&get, &symbol, sizeof symbol);
    if (FAILED(get(cameraserver::kClassId, IID_IUnknown, reinterpret_cast<LPVOID*>(&factory_))) ||
        FAILED(CoRegisterClassObject(cameraserver::kClassId, factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_))) {
        cookie_ = 0;
    }
}

std::string LoadedComponent::Path() const {
    Dl_info info{};
    void* symbol = module_ != nullptr ? dlsym(module_, "DllGetClassObject") : nullptr;
    return symbol != nullptr && dladdr(symbol, &info) != 0 && info.dli_fname != nullptr ? info.dli_fname : "";
}

HRESULT LoadedComponent::Unload() {
    if (cookie_ != 0) {
        CoRevokeClassObject(cookie_);
        cookie_ = 0;
    }
    if (factory_ != nullptr) {
        factory_->Release();
        factory_ = nullptr;
    }
    if (module_ == nullptr) {
        return E_FAIL;
    }
    HRESULT answer = E_FAIL;
    if (void* symbol = dlsym(module_, "DllCanUnloadNow")) {
        CanUnloadNow canUnload = nullptr;
        std::memcpy(&canUnload, &symbol, sizeof symbol);
        answer = canUnload();
    }
    // The C library keeps a module with unique symbols (the C++ library's) loaded all the
    // same: its end is the program's.
    dlclose(module_);
    module_ = nullptr;
    return answer;
}
