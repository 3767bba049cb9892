// The object that GetCameraEnumerator hands out: IEnumVARIANT over the camera list.
#pragma once

#include "cameraserver/ServerObject.h"

namespace cameraserver {

class Enumerator : public ServerObject<IEnumVARIANT> {
public:
    explicit Enumerator(std::shared_ptr<Source> source);

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* items, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override;

protected:
    // Puts what Next yields for the camera at `position` into `item`; returns the log words.
    virtual std::string NextItem(std::size_t position, VARIANT* item);
    // What Next writes for a place past the list's end: an empty VARIANT.
    virtual void PastTheEnd(VARIANT* item);

    void* Find(REFIID iid) override;

private:
    std::size_t position_ = 0;
};

}  // namespace cameraserver
