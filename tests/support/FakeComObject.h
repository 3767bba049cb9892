// A counting object (CountingObject.h) that is a camera, for the tests of the calls on the
// camera's interface: CameraItem, answered by default besides IUnknown and IDispatch, with
// ISupportErrorInfo to be asked for.
//
//   FakeComObject object;                       // one reference, the test's
//   object.Answer(IID_CameraItem, E_FAIL);      // refuse CameraItem with E_FAIL
#pragma once

#include "camera/CameraInterfaces.h"
#include "support/CountingObject.h"

#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM bases have no destructor; this one is final

class FakeComObject final : public CountingObject<CameraItem>, public ISupportErrorInfo {
public:
    FakeComObject() { Answer(IID_CameraItem, S_OK); }

    // ISupportErrorInfo: the answer given, and the identities it was asked about.
    HRESULT supportsAnswer = S_OK;
    std::vector<IID> supportQuestions;
    // CameraItem: the status and the text of both operations (null text: a null BSTR).
    HRESULT itemStatus = S_OK;
    const OLECHAR* itemText = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        return CountingObject::QueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return CountingObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return CountingObject::Release(); }

    HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) override { return HandOut(path); }
    HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) override { return HandOut(name); }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        supportQuestions.push_back(iid);
        return supportsAnswer;
    }

private:
    void* Interface(REFIID iid) override {
        if (IsEqualGUID(iid, IID_ISupportErrorInfo)) {
            return static_cast<ISupportErrorInfo*>(this);
        }
        return CountingObject::Interface(iid);
    }

    HRESULT HandOut(BSTR* out) {
        *out = nullptr;
        if (SUCCEEDED(itemStatus) && itemText != nullptr) {
            *out = SysAllocString(itemText);
        }
        return itemStatus;
    }
};

#pragma GCC diagnostic pop
