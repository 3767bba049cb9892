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
    support.Release();
    if (answer != S_OK) {
        return nullptr;
    }
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK && info != nullptr) {
        info->Release();
        info = nullptr;
    }
    return info;
}

}  // namespace

void ThrowFailedCall(HRESULT status, IUnknown* object, REFIID iid) {
    ThrowComError(status, VouchedErrorInfo(object, iid));
}
