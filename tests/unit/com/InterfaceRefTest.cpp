// InterfaceRef: what assignment asks, what it keeps and releases, and what raises.
#include "com/InterfaceRef.h"

#include "camera/CameraInterfaces.h"

#include <gtest/gtest.h>

#include "support/FakeComObject.h"
#include "support/RaisedStatus.h"
#include "support/RowName.h"

namespace {

HRESULT AssignmentRaises(InterfaceRef<CameraItem>& ref, IUnknown* object) {
    const Raised raised = RaisedBy([&] { ref = object; });
    EXPECT_FALSE(raised.withErrorInfo);
    return raised.status;
}

struct QueryCase {
    const char* name;
    HRESULT answer;       // the object's answer for CameraItem
    bool holds;           // the reference holds the object afterwards
    HRESULT raised;       // S_OK: nothing raised
};

void PrintTo(const QueryCase& row, std::ostream* out) { *out << row.name; }

class InterfaceRefAssignment : public testing::TestWithParam<QueryCase> {};

TEST_P(InterfaceRefAssignment, KeepsOnlyWhatTheObjectHandsOutAndReleasesTheOldValue) {
    const QueryCase& row = GetParam();
    FakeComObject old;
    FakeComObject object;
    object.Answer(IID_CameraItem, row.answer);
    {
        InterfaceRef<CameraItem> ref;
        ref = old.Unknown();
        ASSERT_EQ(old.Refs(), 2u);

        EXPECT_EQ(AssignmentRaises(ref, object.Unknown()), row.raised);

        EXPECT_EQ(object.Asked(IID_CameraItem), 1);
        EXPECT_EQ(old.Refs(), 1u) << "the old value is released whatever the answer";
        EXPECT_EQ(ref.IsEmpty(), !row.holds);
        EXPECT_EQ(object.Refs(), row.holds ? 2u : 1u);
    }
    EXPECT_EQ(object.Refs(), 1u) << "released at the end of the scope";
}

INSTANTIATE_TEST_SUITE_P(Answers, InterfaceRefAssignment,
                         testing::Values(QueryCase{"answered", S_OK, true, S_OK},
                                         QueryCase{"refused", E_NOINTERFACE, false, S_OK},
                                         QueryCase{"failed", E_UNEXPECTED, false, E_UNEXPECTED},
                                         QueryCase{"out_of_memory", E_OUTOFMEMORY, false, E_OUTOFMEMORY}),
                         RowName<QueryCase>);

TEST(InterfaceRef, NullObjectEmptiesWithoutAsking) {
    FakeComObject old;
    InterfaceRef<CameraItem> ref;
    ref = old.Unknown();
    ref = nullptr;
    EXPECT_TRUE(ref.IsEmpty());
    EXPECT_EQ(old.Refs(), 1u);
    EXPECT_EQ(ref.Query(nullptr), S_OK);
}

TEST(InterfaceRef, AssigningTheHeldObjectKeepsExactlyOneReference) {
    FakeComObject object;
    InterfaceRef<CameraItem> ref;
    ref = object.Unknown();
    ref = ref.Get();
    EXPECT_EQ(ref.Get(), static_cast<CameraItem*>(&object));
    EXPECT_EQ(object.Refs(), 2u);
}

TEST(InterfaceRef, QueryReportsTheAnswerWithoutRaising) {
    FakeComObject object;
    object.Answer(IID_CameraItem, E_ACCESSDENIED);
    InterfaceRef<CameraItem> ref;
    EXPECT_EQ(ref.Query(object.Unknown()), E_ACCESSDENIED);
    EXPECT_TRUE(ref.IsEmpty());
    EXPECT_EQ(object.Refs(), 1u);
}

TEST(InterfaceRef, UseWhileEmptyRaisesPointerError) {
    InterfaceRef<CameraItem> ref;
    BSTR name = nullptr;
    const Raised raised = RaisedBy([&] { ref->GetModelName(&name); });
    EXPECT_EQ(raised.status, E_POINTER);
    EXPECT_FALSE(raised.withErrorInfo);
}

TEST(InterfaceRef, PutReleasesTheOldValueAndTakesTheHandedOutOne) {
    FakeComObject old;
    FakeComObject handedOut;
    InterfaceRef<CameraItem> ref;
    ref = old.Unknown();
    CameraItem** slot = ref.Put();
    EXPECT_EQ(old.Refs(), 1u);
    EXPECT_EQ(*slot, nullptr);
    handedOut.AddRef();  // what an operation does for the reference it hands out
    *slot = &handedOut;
    ref.Reset();
    EXPECT_TRUE(ref.IsEmpty());
    EXPECT_EQ(handedOut.Refs(), 1u);
}

// Detach gives the reference away whole: nothing is released, and the reference is empty.
TEST(InterfaceRef, DetachHandsTheReferenceToTheCaller) {
    FakeComObject object;
    CameraItem* taken = nullptr;
    {
        InterfaceRef<CameraItem> ref;
        ref = object.Unknown();
        EXPECT_EQ(object.Refs(), 2u);
        taken = ref.Detach();
        EXPECT_TRUE(ref.IsEmpty());
    }
    EXPECT_EQ(taken, &object);
    EXPECT_EQ(object.Refs(), 2u) << "the caller holds the reference the owner held";
    taken->Release();
    EXPECT_EQ(object.Refs(), 1u);
}

}  // namespace
