// The objects a camera's place in the list hands out: a camera, or an object that is no
// camera; and the VARIANT that carries either.
#pragma once

#include "ErrorInfoSupport.h"
#include "ServerInterfaces.h"
#include "ServerObject.h"

namespace cameraserver {

class Camera final : public DispatchObject<CameraItem> {
public:
    Camera(std::shared_ptr<Source> source, std::size_t position);

    HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) override;

private:
    void* Find(REFIID iid) override;
    HRESULT HandOut(const std::string& operation, BSTR* out);

    const std::size_t position_;
    ErrorInfoSupport support_;
};

// A dispatch object that does not answer for the camera interface.
class NotCamera final : public DispatchObject<IDispatch> {
public:
    NotCamera(std::shared_ptr<Source> source, std::size_t position);

private:
    void* Find(REFIID iid) override;
};

// Fills `item` with what the camera at `position` hands out as `kind`; returns the log
// words ("VT_DISPATCH:Camera#5", "VT_EMPTY").
std::string MakeItem(const std::shared_ptr<Source>& source, std::size_t position, ItemKind kind,
                     VARIANT* item);

// An empty VARIANT with a null value, as handed out for "nothing".
void MakeEmpty(VARIANT* item);

}  // namespace cameraserver
