// VariantInit, VariantCopy and VariantClear for the types the system exchanges, with
// exact reference counts.  Run under Wine too, against the real implementation.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/CountingObject.h"

namespace {

// A VARIANT that is cleared at the end of its scope.
struct OwnedVariant {
    OwnedVariant() { VariantInit(&v); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { EXPECT_EQ(VariantClear(&v), S_OK); }
    VARIANT v;
};

TEST(Variant, InitMakesItEmpty) {
    VARIANT v;
    v.vt = VT_I4;
    VariantInit(&v);
    EXPECT_EQ(v.vt, VT_EMPTY);
}

TEST(Variant, CopyOfAnObjectAddsAReferenceAndClearGivesItBack) {
    for (const VARTYPE type : {VARTYPE{VT_UNKNOWN}, VARTYPE{VT_DISPATCH}}) {
        CountingDispatch object;
        OwnedVariant source;
        OwnedVariant copy;
        object.AddRef();
        source.v.vt = type;
        source.v.punkVal = object.Unknown();

        ASSERT_EQ(VariantCopy(&copy.v, &source.v), S_OK);
        EXPECT_EQ(copy.v.vt, type);
        EXPECT_EQ(copy.v.punkVal, object.Unknown());
        EXPECT_EQ(object.Refs(), 3u);
        EXPECT_EQ(VariantClear(&copy.v), S_OK);
        EXPECT_EQ(copy.v.vt, VT_EMPTY);
        EXPECT_EQ(object.Refs(), 2u);
    }
}

TEST(Variant, CopyReleasesWhatTheDestinationHeld) {
    CountingDispatch held;
    OwnedVariant destination;
    OwnedVariant source;
    held.AddRef();
    destination.v.vt = VT_UNKNOWN;
    destination.v.punkVal = held.Unknown();
    source.v.vt = VT_I4;
    source.v.lVal = 42;

    ASSERT_EQ(VariantCopy(&destination.v, &source.v), S_OK);
    EXPECT_EQ(held.Refs(), 1u);
    EXPECT_EQ(destination.v.vt, VT_I4);
    EXPECT_EQ(destination.v.lVal, 42);
}

TEST(Variant, CopyOfAStringIsANewStringOfTheSameBytes) {
    OwnedVariant source;
    OwnedVariant copy;
    source.v.vt = VT_BSTR;
    source.v.bstrVal = SysAllocStringByteLen("a\0bcd", 5);  // odd byte length, a zero inside
    ASSERT_NE(source.v.bstrVal, nullptr);

    ASSERT_EQ(VariantCopy(&copy.v, &source.v), S_OK);
    ASSERT_EQ(copy.v.vt, VT_BSTR);
    ASSERT_NE(copy.v.bstrVal, nullptr);
    EXPECT_NE(copy.v.bstrVal, source.v.bstrVal);
    ASSERT_EQ(SysStringByteLen(copy.v.bstrVal), 5u);
    EXPECT_EQ(std::memcmp(copy.v.bstrVal, source.v.bstrVal, 5), 0);
}

TEST(Variant, ReferencesAreCopiedWithoutTouchingTheObject) {
    CountingDispatch object;
    IUnknown* pointer = object.Unknown();
    OwnedVariant source;
    OwnedVariant copy;
    source.v.vt = VT_BYREF | VT_UNKNOWN;
    source.v.byref = &pointer;

    ASSERT_EQ(VariantCopy(&copy.v, &source.v), S_OK);
    EXPECT_EQ(copy.v.byref, &pointer);
    EXPECT_EQ(VariantClear(&copy.v), S_OK);
    EXPECT_EQ(object.Refs(), 1u);
}

TEST(Variant, UnknownTypeIsRefusedAndNothingChanges) {
    for (const VARTYPE type : {VARTYPE{0x7FFF}, VARTYPE{VT_BYREF | VT_EMPTY}}) {
        CountingDispatch held;
        OwnedVariant destination;
        held.AddRef();
        destination.v.vt = VT_UNKNOWN;
        destination.v.punkVal = held.Unknown();
        VARIANT bad;
        bad.vt = type;
        bad.lVal = 0;

        EXPECT_EQ(VariantCopy(&destination.v, &bad), DISP_E_BADVARTYPE) << type;
        EXPECT_EQ(destination.v.vt, VT_UNKNOWN);
        EXPECT_EQ(held.Refs(), 2u);
        EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE) << type;
        EXPECT_EQ(bad.vt, type);
    }
}

TEST(Variant, CopyOntoItselfChangesNothing) {
    CountingDispatch object;
    OwnedVariant v;
    object.AddRef();
    v.v.vt = VT_UNKNOWN;
    v.v.punkVal = object.Unknown();
    EXPECT_EQ(VariantCopy(&v.v, &v.v), S_OK);
    EXPECT_EQ(object.Refs(), 2u);
}

}  // namespace
