// The VARIANT owner's out-parameter accessor: what a callee receives is wholly empty, so a
// result it never writes reads as nothing rather than as what the owner held before.
#include "app/ScopedVariant.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/FakeComObject.h"

namespace {

bool AllBytesZero(const VARIANT* v) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(v);
    return std::all_of(bytes, bytes + sizeof(VARIANT), [](unsigned char b) { return b == 0; });
}

TEST(ScopedVariant, ReceiveReleasesAnObjectAndZeroesTheWholeVariant) {
    FakeComObject object;
    ScopedVariant variant;
    object.Unknown()->AddRef();
    V_VT(variant.Get()) = VT_UNKNOWN;
    V_UNKNOWN(variant.Get()) = object.Unknown();

    VARIANT* received = variant.Receive();

    EXPECT_EQ(received, variant.Get());
    EXPECT_EQ(object.Refs(), 1u) << "the object held before is released";
    EXPECT_TRUE(AllBytesZero(received));
}

TEST(ScopedVariant, ReceiveZeroesTheValueOfAScalar) {
    ScopedVariant variant(0x12345678);
    EXPECT_TRUE(AllBytesZero(variant.Receive()));
    EXPECT_EQ(V_VT(variant.Get()), VT_EMPTY);
}

}  // namespace
