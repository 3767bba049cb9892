// VARIANT copy and clear at the camera boundary raise the runtime's failure.
#include "camera/VariantCalls.h"

#include "camera/ComError.h"

#include <gtest/gtest.h>

#include "support/FaultInjection.h"
#include "support/RaisedStatus.h"

namespace {

HRESULT OperationRaises(void (*operation)(VARIANT*, const VARIANT*), VARIANT* dest, const VARIANT* src) {
    const Raised raised = RaisedBy([&] { operation(dest, src); });
    EXPECT_FALSE(raised.withErrorInfo);
    return raised.status;
}

void Copy(VARIANT* dest, const VARIANT* src) { camera::CopyVariant(dest, src); }
void Clear(VARIANT* v, const VARIANT*) { camera::ClearVariant(v); }

TEST(VariantCalls, SucceedQuietly) {
    VARIANT source;
    VARIANT copy;
    VariantInit(&source);
    VariantInit(&copy);
    source.vt = VT_I4;
    source.lVal = 7;
    EXPECT_EQ(OperationRaises(Copy, &copy, &source), S_OK);
    EXPECT_EQ(copy.lVal, 7);
    EXPECT_EQ(OperationRaises(Clear, &copy, nullptr), S_OK);
    EXPECT_EQ(copy.vt, VT_EMPTY);
}

TEST(VariantCalls, RaiseTheRuntimesStatus) {
    VARIANT bad;
    VARIANT copy;
    bad.vt = 0x7FFF;
    bad.lVal = 0;
    VariantInit(&copy);
    EXPECT_EQ(OperationRaises(Copy, &copy, &bad), DISP_E_BADVARTYPE);
    EXPECT_EQ(OperationRaises(Clear, &bad, nullptr), DISP_E_BADVARTYPE);
}

TEST(VariantCalls, GoThroughTheReplaceableServices) {
    VARIANT v;
    VariantInit(&v);
    {
        FailingCall<&platform::SystemApi::VariantCopy> failing(1, E_OUTOFMEMORY);
        EXPECT_EQ(OperationRaises(Copy, &v, &v), E_OUTOFMEMORY);
    }
    FailingCall<&platform::SystemApi::VariantClear> failing(1, E_ACCESSDENIED);
    EXPECT_EQ(OperationRaises(Clear, &v, nullptr), E_ACCESSDENIED);
}

}  // namespace
