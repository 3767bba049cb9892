// An error information object for tests: counts its references, answers QueryInterface
// for IUnknown and IErrorInfo, and lives on the test's stack (Release never deletes it).
// With `expectedFinalRefs`, its destruction checks that every reference it handed out
// came back.
#pragma once

#include "platform/Platform.h"

#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM bases have no destructor; this one is final

class CountingErrorInfo final : public IErrorInfo {
public:
    explicit CountingErrorInfo(ULONG refs = 1, long expectedFinalRefs = -1)
        : refs_(refs), expectedFinalRefs_(expectedFinalRefs) {}
    CountingErrorInfo(const CountingErrorInfo&) = delete;
    CountingErrorInfo& operator=(const CountingErrorInfo&) = delete;
    ~CountingErrorInfo() {
        if (expectedFinalRefs_ >= 0) {
            EXPECT_EQ(refs_, static_cast<ULONG>(expectedFinalRefs_));
        }
    }

    ULONG Refs() const { return refs_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        *object = nullptr;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IErrorInfo)) {
            return E_NOINTERFACE;
        }
        *object = static_cast<IErrorInfo*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }
    HRESULT STDMETHODCALLTYPE GetGUID(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD*) override { return E_NOTIMPL; }

private:
    ULONG refs_;
    long expectedFinalRefs_;
};

#pragma GCC diagnostic pop
