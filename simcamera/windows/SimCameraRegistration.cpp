// DllRegisterServer and DllUnregisterServer: the class's entry under HKCR\CLSID, with the
// DLL's own path as InprocServer32 and the apartment threading model.
#include <string>

#include "cameraserver/ServerInterfaces.h"
#include "cameraserver/ServerLog.h"
#include "cameraserver/win32/Win32ModulePath.h"

namespace {

std::wstring ClassKey() {
    const std::string guid = cameraserver::GuidText(cameraserver::kClassId);
    return L"CLSID\\" + std::wstring(guid.begin(), guid.end());
}

HRESULT FromError(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(error) & 0xFFFFu));
}

LONG SetText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

LONG WriteEntry(const std::wstring& dllPath) {
    HKEY classKey = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, ClassKey().c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &classKey,
                                 nullptr);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    error = SetText(classKey, nullptr, L"Simulated camera-access component");
    HKEY serverKey = nullptr;
    if (error == ERROR_SUCCESS) {
        error = RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &serverKey, nullptr);
    }
    if (error == ERROR_SUCCESS) {
        error = SetText(serverKey, nullptr, dllPath);
        if (error == ERROR_SUCCESS) {
            error = SetText(serverKey, L"ThreadingModel", L"Apartment");
        }
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return error;
}

}  // namespace

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(cameraserver::ThisModule(), path, MAX_PATH);
    HRESULT status = S_OK;
    if (length == 0 || length >= MAX_PATH) {
        status = E_UNEXPECTED;
    } else {
        status = FromError(WriteEntry(std::wstring(path, length)));
    }
    cameraserver::Log("call DllRegisterServer -> " + cameraserver::StatusText(status));
    return status;
}

STDAPI DllUnregisterServer() {
    const LONG error = RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey().c_str());
    const HRESULT status = error == ERROR_FILE_NOT_FOUND ? S_OK : FromError(error);
    cameraserver::Log("call DllUnregisterServer -> " + cameraserver::StatusText(status));
    return status;
}
