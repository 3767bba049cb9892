// Owns one VARIANT: initialized empty, cleared when the owner goes.
#pragma once

#include "platform/Platform.h"

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
    const VARIANT& Value() const noexcept { return value_; }

private:
    VARIANT value_;
};
