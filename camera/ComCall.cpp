#include "camera/ComCall.h"

namespace {

// The error information the failed object vouches for, or null.
IErrorInfo* VouchedErrorInfo(IUnknown* object, REFIID iid) noexcept {
    InterfaceRef<ISupportErrorInfo> support;
    support.Query(object);
    if (support.IsEmpty()) {
        return nullptr;
    }
    const HRESULT answer = support.Get()->InterfaceSupportsErrorInfo(iid);
    support.Reset();
    if (answer != S_OK) {
        return nullptr;
    }
    InterfaceRef<IErrorInfo> info;
    return GetErrorInfo(0, info.Put()) == S_OK ? info.Detach() : nullptr;
}

}  // namespace

void ThrowFailedCall(HRESULT status, IUnknown* object, REFIID iid) {
    ThrowComError(status, VouchedErrorInfo(object, iid));
}
