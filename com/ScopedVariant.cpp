#include "com/ScopedVariant.h"

#include "com/ComError.h"
#include "platform/SystemApi.h"

#include <cstring>

namespace {

void RaiseOnFailure(HRESULT status) {
    if (FAILED(status)) {
        ThrowComError(status);
    }
}

}  // namespace

ScopedVariant::ScopedVariant() noexcept { VariantInit(&value_); }

ScopedVariant::ScopedVariant(LONG i4) noexcept {
    VariantInit(&value_);
    V_VT(&value_) = VT_I4;
    V_I4(&value_) = i4;
}

ScopedVariant::~ScopedVariant() { platform::sys.VariantClear(&value_); }

// A cleared VARIANT keeps its old pointer, and the pointer field is read whatever the type
// tag says; so the whole VARIANT is zeroed, which is also VT_EMPTY.
VARIANT* ScopedVariant::Receive() {
    RaiseOnFailure(platform::sys.VariantClear(&value_));
    std::memset(&value_, 0, sizeof value_);
    return &value_;
}

void ScopedVariant::Reset() { RaiseOnFailure(platform::sys.VariantClear(&value_)); }

void ScopedVariant::Set(const VARIANT& source) { RaiseOnFailure(platform::sys.VariantCopy(&value_, &source)); }

void ScopedVariant::Set(LONG i4) {
    if (V_VT(&value_) != VT_EMPTY && V_VT(&value_) != VT_I4) {
        Reset();
    }
    V_VT(&value_) = VT_I4;
    V_I4(&value_) = i4;
}
