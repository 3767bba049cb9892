#include "com/ComError.h"

_com_error::_com_error(HRESULT status, IErrorInfo* info) noexcept : status_(status), info_(info) {}

_com_error::_com_error(const _com_error& other) noexcept : status_(other.status_), info_(other.info_) {
    if (info_ != nullptr) {
        info_->AddRef();
    }
}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
    if (other.info_ != nullptr) {
        other.info_->AddRef();  // before the release below, in case both share the object
    }
    if (info_ != nullptr) {
        info_->Release();
    }
    status_ = other.status_;
    info_ = other.info_;
    return *this;
}

_com_error::~_com_error() {
    if (info_ != nullptr) {
        info_->Release();
    }
}

HRESULT _com_error::FromSystemError(DWORD error) noexcept {
    if (error == 0) {
        return 0;
    }
    return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

void ThrowComError(HRESULT status) { throw _com_error(status); }

void ThrowComError(HRESULT status, IErrorInfo* info) { throw _com_error(status, info); }

void ThrowLastSystemError() { throw _com_error(_com_error::FromSystemError(GetLastError())); }
