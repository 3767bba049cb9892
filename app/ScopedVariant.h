// Owns one VARIANT: initialized empty, cleared when the owner goes.
#pragma once

#include "platform/Platform.h"

#include <cstring>

class ScopedVariant {
public:
    ScopedVariant() noexcept { VariantInit(&value_); }
    // A VT_I4 value, as handed to the collection by position.
    explicit ScopedVariant(LONG i4) noexcept {
        VariantInit(&value_);
        V_VT(&value_) = VT_I4;
        V_I4(&value_) = i4;
    }
    ~ScopedVariant() { platform::sys.VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    VARIANT* Get() noexcept { return &value_; }
    // For an out-parameter: clears the VARIANT and zeroes all of it, so that a result the
    // callee never wrote reads as VT_EMPTY with a null value, not as what was there before.
    VARIANT* Receive() noexcept {
        platform::sys.VariantClear(&value_);
        std::memset(&value_, 0, sizeof value_);
        return &value_;
    }
    const VARIANT& Value() const noexcept { return value_; }

private:
    VARIANT value_;
};
