// The class factory DllGetClassObject hands out: each manager it creates begins a new
// life of the component with its source of cameras opened afresh.
#pragma once

#include "ServerObject.h"

namespace cameraserver {

class ClassFactory final : public ServerObject<IClassFactory> {
public:
    ClassFactory();

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    void* Find(REFIID iid) override;
};

}  // namespace cameraserver
