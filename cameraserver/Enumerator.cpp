#include "Enumerator.h"

#include "Camera.h"

namespace cameraserver {

Enumerator::Enumerator(std::shared_ptr<Source> source)
    : ServerObject<IEnumVARIANT>("Enumerator", std::move(source)) {}

void* Enumerator::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IEnumVARIANT)) {
        return static_cast<IEnumVARIANT*>(this);
    }
    return nullptr;
}

HRESULT Enumerator::Refusal(REFIID iid) {
    if (!IsEqualGUID(iid, IID_IEnumVARIANT)) {
        return S_OK;
    }
    const Outcome outcome = source_->Decide("QueryInterface.IEnumVARIANT");
    return outcome.fails ? outcome.status : S_OK;
}

HRESULT Enumerator::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    return Guarded([&] {
        if (items == nullptr && count > 0) {
            return E_POINTER;
        }
        const auto& cameras = source_->Cameras().cameras;
        std::string handedOut;
        ULONG done = 0;
        for (ULONG i = 0; i < count; ++i) {
            if (position_ < cameras.size()) {
                handedOut += (i > 0 ? "," : "") + MakeItem(source_, position_, cameras[position_].enumerated, &items[i]);
                ++position_;
                ++done;
            } else if (!source_->Cameras().pastEndUntouched) {
                MakeEmpty(&items[i]);
            }
        }
        if (fetched != nullptr) {
            *fetched = done;
        }
        const HRESULT status = done == count ? S_OK : S_FALSE;
        LogCall("Next", status, "item=" + (handedOut.empty() ? std::string("none") : handedOut),
                "count=" + std::to_string(count) + " fetched=" + (fetched != nullptr ? "given" : "null"));
        return status;
    });
}

HRESULT Enumerator::Skip(ULONG count) {
    return Guarded([&] {
        const std::size_t size = source_->Cameras().cameras.size();
        const bool all = count <= size - position_;
        position_ = all ? position_ + count : size;
        const HRESULT status = all ? S_OK : S_FALSE;
        LogCall("Skip", status, "", "count=" + std::to_string(count));
        return status;
    });
}

HRESULT Enumerator::Reset() {
    return Guarded([&] {
        position_ = 0;
        LogCall("Reset", S_OK);
        return S_OK;
    });
}

HRESULT Enumerator::Clone(IEnumVARIANT** copy) {
    return Guarded([&] {
        if (copy != nullptr) {
            *copy = nullptr;
        }
        LogCall("Clone", E_NOTIMPL);
        return E_NOTIMPL;
    });
}

}  // namespace cameraserver
