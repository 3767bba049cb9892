// What a call raises as _com_error, written once for the tests that check failures:
//
//   EXPECT_EQ(RaisedStatus([&] { item.Receive(); }), DISP_E_BADVARTYPE);
//   const Raised raised = RaisedBy([&] { camera::GetModelName(camera); });
//   EXPECT_EQ(raised.status, E_OUTOFMEMORY);
//   EXPECT_FALSE(raised.withErrorInfo);
#pragma once

#include "com/ComError.h"

struct Raised {
    HRESULT status = S_OK;       // S_OK when nothing was raised
    bool withErrorInfo = false;  // whether the error carried an error-information object
};

template <typename Call>
Raised RaisedBy(Call&& call) {
    try {
        call();
    } catch (const _com_error& error) {
        return Raised{error.Error(), error.ErrorInfo() != nullptr};
    }
    return Raised{};
}

template <typename Call>
HRESULT RaisedStatus(Call&& call) {
    return RaisedBy(call).status;
}
