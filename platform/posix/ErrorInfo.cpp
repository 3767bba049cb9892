// The error information object of each thread: a component stores one with SetErrorInfo
// as it fails, and its caller takes it over with GetErrorInfo.
#include "platform/Platform.h"

namespace {

// Holds the thread's reference and gives it up when the thread ends.
class ThreadErrorInfo {
public:
    ThreadErrorInfo() = default;
    ThreadErrorInfo(const ThreadErrorInfo&) = delete;
    ThreadErrorInfo& operator=(const ThreadErrorInfo&) = delete;
    ~ThreadErrorInfo() { Replace(nullptr); }

    IErrorInfo* Take() noexcept {
        IErrorInfo* taken = info_;
        info_ = nullptr;
        return taken;
    }
    void Replace(IErrorInfo* info) noexcept {
        if (info != nullptr) {
            info->AddRef();
        }
        IErrorInfo* old = info_;
        info_ = info;
        // Released last: the old object's Release may itself store error information.
        if (old != nullptr) {
            old->Release();
        }
    }

private:
    IErrorInfo* info_ = nullptr;
};

thread_local ThreadErrorInfo threadErrorInfo;

}  // namespace

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
    if (reserved != 0 || info == nullptr) {
        return E_INVALIDARG;
    }
    *info = threadErrorInfo.Take();
    return *info != nullptr ? S_OK : S_FALSE;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
    if (reserved != 0) {
        return E_INVALIDARG;
    }
    threadErrorInfo.Replace(info);
    return S_OK;
}
