// ISupportErrorInfo as a part of the object that owns it: it answers S_OK for the owner's
// main interface and S_FALSE for any other, and lives and dies with its owner.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace cameraserver {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // a part, never deleted on its own

class ErrorInfoSupport final : public ISupportErrorInfo {
public:
    ErrorInfoSupport(IUnknown& owner, const std::string& ownerName, const IID& supported)
        : owner_(owner), ownerName_(ownerName), supported_(supported) {}
    ErrorInfoSupport(const ErrorInfoSupport&) = delete;
    ErrorInfoSupport& operator=(const ErrorInfoSupport&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return owner_.QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_.Release(); }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    IUnknown& owner_;
    const std::string& ownerName_;
    const IID supported_;
};

#pragma GCC diagnostic pop

}  // namespace cameraserver
