// The raising rule for a failed component operation: which error information the error
// carries, and what is asked and released on the way.
#include "camera/ComCall.h"

#include "camera/CameraInterfaces.h"

#include <gtest/gtest.h>

#include "support/FakeComObject.h"
#include "support/CountingErrorInfo.h"
#include "support/RowName.h"

namespace {


struct RuleCase {
    const char* name;
    HRESULT supportQuery;   // the object's answer for ISupportErrorInfo
    HRESULT supportAnswer;  // InterfaceSupportsErrorInfo's answer
    bool threadHasInfo;     // an error information object is stored for the thread
    bool carried;           // the error carries it
};

void PrintTo(const RuleCase& row, std::ostream* out) { *out << row.name; }

class RaisingRule : public testing::TestWithParam<RuleCase> {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
    void TearDown() override { CoUninitialize(); }
};

TEST_P(RaisingRule, FetchesErrorInformationOnlyWhenTheObjectVouchesForIt) {
    const RuleCase& row = GetParam();
    FakeComObject object;
    object.Answer(IID_ISupportErrorInfo, row.supportQuery);
    object.supportsAnswer = row.supportAnswer;
    CountingErrorInfo info(1, 1);
    if (row.threadHasInfo) {
        ASSERT_EQ(SetErrorInfo(0, &info), S_OK);
        ASSERT_EQ(info.Refs(), 2u);
    }

    try {
        CheckCall(E_ACCESSDENIED, static_cast<CameraItem*>(&object));
        FAIL() << "no error raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_ACCESSDENIED);
        EXPECT_EQ(e.ErrorInfo(), row.carried ? &info : nullptr);
        if (row.carried) {
            EXPECT_EQ(info.Refs(), 2u) << "the error took over the thread's reference";
        }
    }

    EXPECT_EQ(object.Asked(IID_ISupportErrorInfo), 1);
    if (SUCCEEDED(row.supportQuery)) {
        ASSERT_EQ(object.supportQuestions.size(), 1u);
        EXPECT_TRUE(IsEqualGUID(object.supportQuestions[0], IID_CameraItem)) << "asked about the failing interface";
    }
    EXPECT_EQ(object.Refs(), 1u) << "ISupportErrorInfo released";
    // What was not fetched is still the thread's.
    EXPECT_EQ(info.Refs(), row.threadHasInfo && !row.carried ? 2u : 1u);
    SetErrorInfo(0, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RaisingRule,
    testing::Values(RuleCase{"vouched_with_info", S_OK, S_OK, true, true},
                    RuleCase{"vouched_without_info", S_OK, S_OK, false, false},
                    RuleCase{"not_for_this_interface", S_OK, S_FALSE, true, false},
                    RuleCase{"positive_but_not_S_OK", S_OK, static_cast<HRESULT>(2), true, false},
                    RuleCase{"no_ISupportErrorInfo", E_NOINTERFACE, S_OK, true, false}),
    RowName<RuleCase>);

TEST(CheckCall, PassesSuccessStatusesThrough) {
    FakeComObject object;
    EXPECT_EQ(CheckCall(S_OK, static_cast<CameraItem*>(&object)), S_OK);
    EXPECT_EQ(CheckCall(S_FALSE, static_cast<CameraItem*>(&object)), S_FALSE);
    EXPECT_EQ(object.Asked(IID_ISupportErrorInfo), 0);
}

}  // namespace
