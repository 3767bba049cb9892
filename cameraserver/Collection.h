// The list of connected cameras that the manager hands out.
#pragma once

#include "cameraserver/ErrorInfoSupport.h"
#include "cameraserver/ServerInterfaces.h"
#include "cameraserver/ServerObject.h"

namespace cameraserver {

class Enumerator;

class Collection : public DispatchObject<CameraCollection> {
public:
    explicit Collection(std::shared_ptr<Source> source);

    HRESULT STDMETHODCALLTYPE GetCameraCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE GetCameraAt(VARIANT index, VARIANT* camera) override;
    HRESULT STDMETHODCALLTYPE GetCameraEnumerator(IUnknown** enumerator) override;

protected:
    // Each operation's work, reporting `status`, a success.
    HRESULT ReportCount(LONG* count, LONG value, HRESULT status);
    HRESULT HandOutCameraAt(VARIANT index, VARIANT* camera, HRESULT status);
    HRESULT HandOutEnumerator(IUnknown** enumerator, HRESULT status);

    // Puts what GetCameraAt hands out for `index` into `item`, with the log words for it;
    // DISP_E_BADINDEX for an index outside the list, `item` then untouched.
    virtual HRESULT Select(LONG index, VARIANT* item, std::string& handedOut);
    virtual Enumerator* NewEnumerator();

    void* Find(REFIID iid) override;

private:
    ErrorInfoSupport support_;
};

}  // namespace cameraserver
