#include "cameraserver/Enumerator.h"

#include "cameraserver/Camera.h"

namespace cameraserver {

Enumerator::Enumerator(std::shared_ptr<Source> source)
    : ServerObject<IEnumVARIANT>("Enumerator", std::move(source)) {}

void* Enumerator::Find(REFIID iid) {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IEnumVARIANT)) {
        return static_cast<IEnumVARIANT*>(this);
    }
    return nullptr;
}

std::string Enumerator::NextItem(std::size_t position, VARIANT* item) {
    return HandOutCamera(source_, position, item);
}

void Enumerator::PastTheEnd(VARIANT* item) {
    MakeEmpty(item);
}

HRESULT Enumerator::Next(ULONG count, VARIANT* items, ULONG* fetched) {
    return Guarded([&] {
        if (items == nullptr && count > 0) {
            return E_POINTER;
        }
        const std::size_t size = source_->Count();
        std::string handedOut;
        ULONG done = 0;
        for (ULONG i = 0; i < count; ++i) {
            if (position_ < size) {
                handedOut += (i > 0 ? "," : "") + NextItem(position_, &items[i]);
                ++position_;
                ++done;
            } else {
                PastTheEnd(&items[i]);
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
        const std::size_t size = source_->Count();
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
