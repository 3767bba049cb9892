// The status that a call raises as _com_error, S_OK when it raises nothing: the try/catch
// of a test that checks what a failure raises, written once.
//
//   EXPECT_EQ(RaisedStatus([&] { item.Receive(); }), DISP_E_BADVARTYPE);
#pragma once

#include "camera/ComError.h"

template <typename Call>
HRESULT RaisedStatus(Call&& call) {
    try {
        call();
    } catch (const _com_error& error) {
        return error.Error();
    }
    return S_OK;
}
