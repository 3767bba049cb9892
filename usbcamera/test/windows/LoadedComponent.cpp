#include "usbcamera/test/windows/LoadedComponent.h"

#include "cameraserver/ServerInterfaces.h"

namespace {
// The exports keep the COM calling convention (stdcall on 32-bit Windows).
using GetClassObject = HRESULT(STDMETHODCALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNow = HRESULT(STDMETHODCALLTYPE*)();
}  // namespace

LoadedComponent::LoadedComponent(const std::string& path) : module_(path) {
    const auto get = module_.Find<GetClassObject>("DllGetClassObject");
    if (get == nullptr) {
        return;
    }
    if (FAILED(get(cameraserver::kClassId, IID_IUnknown, reinterpret_cast<LPVOID*>(&factory_))) ||
        FAILED(CoRegisterClassObject(cameraserver::kClassId, factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_))) {
        cookie_ = 0;
    }
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
    if (!module_.IsOpen()) {
        return E_FAIL;
    }
    HRESULT answer = E_FAIL;
    if (const auto canUnload = module_.Find<CanUnloadNow>("DllCanUnloadNow")) {
        answer = canUnload();
    }
    module_.Close();
    return answer;
}
