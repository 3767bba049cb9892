// The class factory DllGetClassObject hands out: each manager it creates begins a new
// life of the component with the scenario read afresh.
#pragma once

#include "SimObject.h"

namespace sim {

class ClassFactory final : public SimObject<IClassFactory> {
public:
    ClassFactory();

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    void* Find(REFIID iid) override;
};

}  // namespace sim
