// Owns one VARIANT: initialized empty, cleared when the owner goes.
//
//   ScopedVariant item;
//   enumerator->Next(1, item.Receive(), nullptr);   // the old value is cleared first
//   camera = item.Value().punkVal;
//
// Clearing and copying go through the replaceable services and raise _com_error with the
// runtime's status, as everywhere at the camera boundary; only the destructor, which must
// not raise, ignores a failed clear.
#pragma once

#include "platform/Platform.h"

class ScopedVariant {
public:
    ScopedVariant() noexcept;
    // A VT_I4 value, as handed to the collection by position.
    explicit ScopedVariant(LONG i4) noexcept;
    ~ScopedVariant();
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;

    const VARIANT& Value() const noexcept { return value_; }

    // For an operation that hands out a VARIANT: clears the old value and empties the whole
    // VARIANT, its pointer field included, so that an operation which writes nothing leaves
    // nothing stale to be read.
    VARIANT* Receive();

    // Clears the value; empty afterwards.
    void Reset();

    // A copy of `source` replaces the value (VariantCopy lets go of the old one).
    void Set(const VARIANT& source);

    // A VT_I4 value replaces the value.  A number needs no clear; anything else held is
    // cleared first.
    void Set(LONG i4);

private:
    VARIANT value_;
};

static_assert(sizeof(ScopedVariant) == sizeof(VARIANT), "a ScopedVariant is one VARIANT");
