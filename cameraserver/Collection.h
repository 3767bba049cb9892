// The list of connected cameras that the manager hands out.
#pragma once

#include "ErrorInfoSupport.h"
#include "ServerInterfaces.h"
#include "ServerObject.h"

namespace cameraserver {

class Collection final : public DispatchObject<CameraCollection> {
public:
    explicit Collection(std::shared_ptr<Source> source);

    HRESULT STDMETHODCALLTYPE GetCameraCount(LONG* count) override;
    HRESULT STDMETHODCALLTYPE GetCameraAt(VARIANT index, VARIANT* camera) override;
    HRESULT STDMETHODCALLTYPE GetCameraEnumerator(IUnknown** enumerator) override;

private:
    void* Find(REFIID iid) override;
    HRESULT Fail(const std::string& operation, const Outcome& outcome, const std::string& arguments = "");

    ErrorInfoSupport support_;
};

}  // namespace cameraserver
