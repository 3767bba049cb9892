#include "com/ComError.h"

#include <gtest/gtest.h>
#include "support/CountingErrorInfo.h"
#include "support/RaisedStatus.h"

namespace {


TEST(ComError, SystemErrorsBecomeStatusesWithTheirLow16Bits) {
    const struct {
        DWORD error;
        std::uint32_t status;
    } cases[] = {
        {0, 0},
        {ERROR_ACCESS_DENIED, 0x80070005u},
        {ERROR_OUTOFMEMORY, 0x8007000Eu},
        {ERROR_NO_UNICODE_TRANSLATION, 0x80070459u},
        {0x12345u, 0x80072345u},
        {0xFFFFFFFFu, 0x8007FFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        EXPECT_EQ(static_cast<HRESULT>(c.status), _com_error::FromSystemError(c.error));
    }
}

TEST(ComError, CopiesShareTheErrorInformationByReference) {
    CountingErrorInfo info(1);  // the reference the error takes over
    {
        _com_error error(E_FAIL, &info);
        EXPECT_EQ(1u, info.Refs());
        EXPECT_EQ(&info, error.ErrorInfo());
        {
            const _com_error copy(error);
            EXPECT_EQ(2u, info.Refs());
            EXPECT_EQ(E_FAIL, copy.Error());
            EXPECT_EQ(&info, copy.ErrorInfo());
        }
        EXPECT_EQ(1u, info.Refs());
    }
    EXPECT_EQ(0u, info.Refs());
}

TEST(ComError, AssignmentSwapsOneReferenceForAnother) {
    CountingErrorInfo first(1);
    CountingErrorInfo second(1);
    {
        _com_error target(E_FAIL, &first);
        const _com_error source(E_ABORT, &second);
        target = source;
        EXPECT_EQ(0u, first.Refs());
        EXPECT_EQ(2u, second.Refs());
        EXPECT_EQ(E_ABORT, target.Error());

        const _com_error& self = target;
        target = self;
        EXPECT_EQ(2u, second.Refs());

        _com_error plain(E_POINTER);
        plain = target;
        EXPECT_EQ(3u, second.Refs());
    }
    EXPECT_EQ(0u, second.Refs());
}

TEST(ComError, RaisingTakesOverTheReferenceItIsGiven) {
    CountingErrorInfo info(1);
    try {
        ThrowComError(DISP_E_MEMBERNOTFOUND, &info);
    } catch (const _com_error& error) {
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, error.Error());
        EXPECT_EQ(&info, error.ErrorInfo());
        EXPECT_EQ(1u, info.Refs());
    }
    EXPECT_EQ(0u, info.Refs());
}

TEST(ComError, RaisingTheLastSystemErrorCarriesIt) {
    SetLastError(ERROR_DISK_FULL);
    const Raised raised = RaisedBy([] { ThrowLastSystemError(); });
    EXPECT_EQ(static_cast<HRESULT>(0x80070070u), raised.status);
    EXPECT_FALSE(raised.withErrorInfo);
}

TEST(ComError, RaisingAStatusAloneCarriesNoErrorInformation) {
    const Raised raised = RaisedBy([] { ThrowComError(E_OUTOFMEMORY); });
    EXPECT_EQ(E_OUTOFMEMORY, raised.status);
    EXPECT_FALSE(raised.withErrorInfo);
}

}  // namespace
