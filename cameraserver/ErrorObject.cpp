#include "cameraserver/ErrorObject.h"

#include "cameraserver/ComponentDescription.h"

namespace cameraserver {

namespace {

HRESULT HandOutText(const std::string& ascii, BSTR* out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    const Units wide(ascii.begin(), ascii.end());
    *out = SysAllocStringLen(wide.c_str(), static_cast<UINT>(wide.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

ErrorObject::ErrorObject(REFIID iid, const std::string& description)
    : ServerObject<IErrorInfo>("ErrorInfo", nullptr, "description=\"" + description + "\""),
      iid_(iid),
      description_(description) {}

void* ErrorObject::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IErrorInfo)) {
        return static_cast<IErrorInfo*>(this);
    }
    return nullptr;
}

HRESULT ErrorObject::GetGUID(GUID* guid) {
    if (guid == nullptr) {
        return E_POINTER;
    }
    *guid = iid_;
    LogCall("GetGUID", S_OK);
    return S_OK;
}

HRESULT ErrorObject::GetSource(BSTR* source) {
    const HRESULT status = HandOutText(ThisComponent().errorSource, source);
    LogCall("GetSource", status);
    return status;
}

HRESULT ErrorObject::GetDescription(BSTR* description) {
    const HRESULT status = HandOutText(description_, description);
    LogCall("GetDescription", status);
    return status;
}

HRESULT ErrorObject::GetHelpFile(BSTR* helpFile) {
    if (helpFile == nullptr) {
        return E_POINTER;
    }
    *helpFile = nullptr;
    LogCall("GetHelpFile", S_OK);
    return S_OK;
}

HRESULT ErrorObject::GetHelpContext(DWORD* helpContext) {
    if (helpContext == nullptr) {
        return E_POINTER;
    }
    *helpContext = 0;
    LogCall("GetHelpContext", S_OK);
    return S_OK;
}

std::string ReportFailure(REFIID iid, const std::string& operation, HRESULT status, bool describe) {
    if (!describe) {
        SetErrorInfo(0, nullptr);
        return "errorinfo=none";
    }
    auto* info = new ErrorObject(iid, operation + " failed with " + StatusText(status));
    SetErrorInfo(0, info);
    const std::string words = "errorinfo=" + info->Name();
    info->Release();
    return words;
}

}  // namespace cameraserver
