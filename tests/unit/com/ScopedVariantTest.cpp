// The VARIANT owner: what each operation releases, with exact reference counts, and the
// runtime's failures raised through the replaceable services.
#include "com/ScopedVariant.h"

#include <gtest/gtest.h>

#include "platform/SystemApi.h"
#include "support/CountingObject.h"
#include "support/FaultInjection.h"
#include "support/RaisedStatus.h"

namespace {

// Puts a new reference to `object` into `v`, as an operation handing out an object would.
void HandOut(ScopedVariant& v, CountingDispatch& object) {
    VARIANT* out = v.Receive();
    object.AddRef();
    out->vt = VT_UNKNOWN;
    out->punkVal = object.Unknown();
}

TEST(ScopedVariant, ReceiveReleasesTheOldValueAndEmptiesTheWholeVariant) {
    CountingDispatch object;
    ScopedVariant item;
    HandOut(item, object);
    EXPECT_EQ(object.Refs(), 2u);

    const VARIANT* out = item.Receive();
    EXPECT_EQ(out, &item.Value());
    EXPECT_EQ(object.Refs(), 1u);
    EXPECT_EQ(out->vt, VT_EMPTY);
    EXPECT_EQ(out->punkVal, nullptr);  // an operation that writes nothing leaves no stale object
}

TEST(ScopedVariant, SetCopiesResetAndTheOwnerRelease) {
    CountingDispatch object;
    {
        ScopedVariant source;
        HandOut(source, object);
        ScopedVariant copy;
        copy.Set(source.Value());
        EXPECT_EQ(object.Refs(), 3u);
        EXPECT_EQ(copy.Value().punkVal, object.Unknown());
        source.Reset();
        EXPECT_EQ(object.Refs(), 2u);
        EXPECT_EQ(source.Value().vt, VT_EMPTY);
    }
    EXPECT_EQ(object.Refs(), 1u);
}

TEST(ScopedVariant, APositionReplacesANumberInPlaceAndAnythingElseAfterAClear) {
    ScopedVariant index(7);
    EXPECT_EQ(index.Value().vt, VT_I4);
    EXPECT_EQ(index.Value().lVal, 7);
    {
        FailingCall<&platform::SystemApi::VariantClear> counting(0);
        index.Set(3);
        EXPECT_EQ(counting.Calls(), 0);
    }
    EXPECT_EQ(index.Value().lVal, 3);

    CountingDispatch object;
    HandOut(index, object);
    index.Set(5);
    EXPECT_EQ(object.Refs(), 1u);
    EXPECT_EQ(index.Value().vt, VT_I4);
    EXPECT_EQ(index.Value().lVal, 5);
}

TEST(ScopedVariant, FailedClearOrCopyRaisesTheRuntimesStatus) {
    ScopedVariant v;
    {
        FailingCall<&platform::SystemApi::VariantClear> failing(1, DISP_E_BADVARTYPE);
        EXPECT_EQ(RaisedStatus([&] { v.Receive(); }), DISP_E_BADVARTYPE);
    }
    {
        FailingCall<&platform::SystemApi::VariantClear> failing(1, E_ACCESSDENIED);
        EXPECT_EQ(RaisedStatus([&] { v.Reset(); }), E_ACCESSDENIED);
    }
    const ScopedVariant source(1);
    FailingCall<&platform::SystemApi::VariantCopy> failing(1, E_OUTOFMEMORY);
    EXPECT_EQ(RaisedStatus([&] { v.Set(source.Value()); }), E_OUTOFMEMORY);
}

TEST(ScopedVariant, TheRuntimesOwnRefusalIsRaisedWithoutErrorInformation) {
    VARIANT bad;
    bad.vt = 0x7FFF;
    bad.lVal = 0;
    ScopedVariant v;
    Raised raised = RaisedBy([&] { v.Set(bad); });
    EXPECT_EQ(raised.status, DISP_E_BADVARTYPE);
    EXPECT_FALSE(raised.withErrorInfo);

    V_VT(v.Receive()) = 0x7FFF;
    raised = RaisedBy([&] { v.Reset(); });
    EXPECT_EQ(raised.status, DISP_E_BADVARTYPE);
    EXPECT_FALSE(raised.withErrorInfo);
    // The destructor meets the same refusal and, as it must not raise, ignores it.
}

}  // namespace
