// InterfaceRef: what assignment asks, what it keeps and releases, and what raises, with a
// counting IDispatch object.
#include "com/InterfaceRef.h"

#include <gtest/gtest.h>

#include "support/CountingObject.h"
#include "support/RaisedStatus.h"
#include "support/RowName.h"

namespace {

HRESULT AssignmentRaises(InterfaceRef<IDispatch>& ref, IUnknown* object) {
    const Raised raised = RaisedBy([&] { ref = object; });
    EXPECT_FALSE(raised.withErrorInfo);
    return raised.status;
}

struct QueryCase {
    const char* name;
    HRESULT answer;       // the object's answer for IDispatch
    bool holds;           // the reference holds the object afterwards
    HRESULT raised;       // S_OK: nothing raised
};

void PrintTo(const QueryCase& row, std::ostream* out) { *out << row.name; }

class InterfaceRefAssignment : public testing::TestWithParam<QueryCase> {};

TEST_P(InterfaceRefAssignment, KeepsOnlyWhatTheObjectHandsOutAndReleasesTheOldValue) {
    const QueryCase& row = GetParam();
    CountingDispatch old;
    CountingDispatch object;
    object.Answer(IID_IDispatch, row.answer);
    {
        InterfaceRef<IDispatch> ref;
        ref = old.Unknown();
        ASSERT_EQ(old.Refs(), 2u);

        EXPECT_EQ(AssignmentRaises(ref, object.Unknown()), row.raised);

        EXPECT_EQ(object.Asked(IID_IDispatch), 1);
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
    CountingDispatch old;
    InterfaceRef<IDispatch> ref;
    ref = old.Unknown();
    ref = nullptr;
    EXPECT_TRUE(ref.IsEmpty());
    EXPECT_EQ(old.Refs(), 1u);
    EXPECT_EQ(ref.Query(nullptr), S_OK);
}

TEST(InterfaceRef, AssigningTheHeldObjectKeepsExactlyOneReference) {
    CountingDispatch object;
    InterfaceRef<IDispatch> ref;
    ref = object.Unknown();
    ref = ref.Get();
    EXPECT_EQ(ref.Get(), static_cast<IDispatch*>(&object));
    EXPECT_EQ(object.Refs(), 2u);
}

TEST(InterfaceRef, QueryReportsTheAnswerWithoutRaising) {
    CountingDispatch object;
    object.Answer(IID_IDispatch, E_ACCESSDENIED);
    InterfaceRef<IDispatch> ref;
    EXPECT_EQ(ref.Query(object.Unknown()), E_ACCESSDENIED);
    EXPECT_TRUE(ref.IsEmpty());
    EXPECT_EQ(object.Refs(), 1u);
}

TEST(InterfaceRef, UseWhileEmptyRaisesPointerError) {
    InterfaceRef<IDispatch> ref;
    UINT count = 0;
    const Raised raised = RaisedBy([&] { ref->GetTypeInfoCount(&count); });
    EXPECT_EQ(raised.status, E_POINTER);
    EXPECT_FALSE(raised.withErrorInfo);
}

TEST(InterfaceRef, PutReleasesTheOldValueAndTakesTheHandedOutOne) {
    CountingDispatch old;
    CountingDispatch handedOut;
    InterfaceRef<IDispatch> ref;
    ref = old.Unknown();
    IDispatch** slot = ref.Put();
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
    CountingDispatch object;
    IDispatch* taken = nullptr;
    {
        InterfaceRef<IDispatch> ref;
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
