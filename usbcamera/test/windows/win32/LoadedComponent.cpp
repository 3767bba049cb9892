#include "../LoadedComponent.h"

#include "cameraserver/ServerInterfaces.h"

namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

std::wstring Wide(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

LoadedComponent::LoadedComponent(const std::string& path) {
    const HMODULE module = LoadLibraryW(Wide(path).c_str());
    module_ = module;
    const FARPROC symbol = module != nullptr ? GetProcAddress(module, "DllGetClassObject") : nullptr;
    if (symbol == nullptr) {
        return;
    }
    const auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void (*)()>(symbol));
    if (FAILED(get(cameraserver::kClassId, IID_IUnknown, reinterpret_cast<LPVOID*>(&factory_))) ||
        FAILED(CoRegisterClassObject(cameraserver::kClassId, factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_))) {
        cookie_ = 0;
    }
}

std::string LoadedComponent::Path() const {
    wchar_t path[32768];
    const DWORD length = module_ != nullptr ? GetModuleFileNameW(static_cast<HMODULE>(module_), path, 32768) : 0;
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, path, static_cast<int>(length), &narrow[0], bytes, nullptr, nullptr);
    }
    return narrow;
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
    const auto module = static_cast<HMODULE>(module_);
    HRESULT answer = E_FAIL;
    if (const FARPROC symbol = GetProcAddress(module, "DllCanUnloadNow")) {
        answer = reinterpret_cast<CanUnloadNow>(reinterpret_cast<void (*)()>(symbol))();
    }
    FreeLibrary(module);
    module_ = nullptr;
    return answer;
}
