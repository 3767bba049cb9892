// The camera object that the collection and the enumerator hand out, and the VARIANTs that
// carry it.
#pragma once

#include "cameraserver/ErrorInfoSupport.h"
#include "cameraserver/ServerInterfaces.h"
#include "cameraserver/ServerObject.h"

namespace cameraserver {

class Camera : public DispatchObject<CameraItem> {
public:
    Camera(std::shared_ptr<Source> source, std::size_t position);

    HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) override;

protected:
    // Hands out the model name ("GetModelName") or the drive path ("GetDrivePath") and
    // reports `status`, a success; once the camera has gone, fails with
    // ERROR_DEVICE_NOT_CONNECTED and error information.
    HRESULT HandOut(const std::string& operation, BSTR* out, HRESULT status);

    void* Find(REFIID iid) override;

    const std::size_t position_;

private:
    ErrorInfoSupport support_;
};

// Puts a new Camera for `position` into `item` (VT_DISPATCH); returns the log words
// ("VT_DISPATCH:Camera#5").
std::string HandOutCamera(const std::shared_ptr<Source>& source, std::size_t position, VARIANT* item);

// An empty VARIANT with a null value, as handed out for "nothing".
void MakeEmpty(VARIANT* item);

}  // namespace cameraserver
