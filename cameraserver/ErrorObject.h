// The component's own error information object, and the reporting of a failed call.
#pragma once

#include <string>

#include "cameraserver/ServerObject.h"

namespace cameraserver {

class ErrorObject final : public ServerObject<IErrorInfo> {
public:
    ErrorObject(REFIID iid, const std::string& description);

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* guid) override;
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* source) override;
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) override;
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* helpFile) override;
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* helpContext) override;

private:
    void* Find(REFIID iid) override;

    const IID iid_;
    const std::string description_;
};

// Sets the thread's error information for `operation` of interface `iid` failing with
// `status`: an ErrorObject that describes it when `describe`, otherwise none (what the
// thread held before is cleared).  Returns the log words ("errorinfo=ErrorInfo#9" or
// "errorinfo=none").
std::string ReportFailure(REFIID iid, const std::string& operation, HRESULT status, bool describe);

}  // namespace cameraserver
