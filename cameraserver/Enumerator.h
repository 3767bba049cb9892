// The object that GetCameraEnumerator hands out: IEnumVARIANT over the camera list,
// unless the source makes it refuse that interface.
#pragma once

#include "ServerObject.h"

namespace cameraserver {

class Enumerator final : public ServerObject<IEnumVARIANT> {
public:
    explicit Enumerator(std::shared_ptr<Source> source);

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

private:
    void* Find(REFIID iid) override;
    HRESULT Refusal(REFIID iid) override;

    std::size_t position_ = 0;
};

}  // namespace cameraserver
