// The object that GetCameraEnumerator hands out: IEnumVARIANT over the camera list,
// unless the scenario makes it refuse that interface.
#pragma once

#include "SimObject.h"

namespace sim {

class Enumerator final : public SimObject<IEnumVARIANT> {
public:
    explicit Enumerator(std::shared_ptr<Component> component);

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

private:
    void* Find(REFIID iid) override;
    HRESULT Refusal(REFIID iid) override;

    std::size_t position_ = 0;
};

}  // namespace sim
