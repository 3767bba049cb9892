// How a failing operation of the camera component becomes a _com_error.
//
// The failing object is asked for ISupportErrorInfo; only if it answers, and says S_OK
// for the interface whose operation failed, is the thread's error information object
// fetched (GetErrorInfo) and carried by the error.  Anything else raises the status alone.
//
//   CheckCall(collection->GetCameraCount(&count), collection.Get());
#pragma once

#include "platform/Platform.h"

#include "com/InterfaceRef.h"

// Raises the _com_error for `status`, a failure of an operation of interface `iid` on `object`.
[[noreturn]] void ThrowFailedCall(HRESULT status, IUnknown* object, REFIID iid);

// Returns a successful `status` (S_FALSE included); raises for a failed one.
template <class I>
HRESULT CheckCall(HRESULT status, I* object) {
    if (FAILED(status)) {
        ThrowFailedCall(status, object, InterfaceIdentity<I>::Get());
    }
    return status;
}
