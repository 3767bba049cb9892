// A COM object for tests that counts its references and answers QueryInterface from a
// table, so that a test can assert exact reference counts after each operation.
//
//   FakeComObject object;                       // one reference, the test's
//   object.Answer(IID_CameraItem, E_FAIL);      // refuse CameraItem with E_FAIL
//   { InterfaceRef<CameraItem> ref; ref = object.Unknown(); EXPECT_EQ(object.Refs(), 2); }
//
// It implements CameraItem, ISupportErrorInfo and IRunnableObject.  By default it answers
// for IUnknown, IDispatch and CameraItem and refuses everything else with E_NOINTERFACE.
// An identity that the table answers with success but that the object does not implement
// hands out the object's IUnknown: tests compare such pointers but never call through them.
// The object lives on the test's stack and is never deleted by Release.
#pragma once

#include "platform/Platform.h"

#include "camera/CameraInterfaces.h"

#include <gtest/gtest.h>

#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM bases have no destructor; this one is final

class FakeComObject final : public CameraItem, public ISupportErrorInfo, public IRunnableObject {
public:
    FakeComObject() = default;
    FakeComObject(const FakeComObject&) = delete;
    FakeComObject& operator=(const FakeComObject&) = delete;
    ~FakeComObject() { EXPECT_EQ(refs_, 1) << "a reference was leaked or released too often"; }

    void Answer(REFIID iid, HRESULT status) {
        for (Entry& e : answers_) {
            if (IsEqualGUID(e.iid, iid)) {
                e.status = status;
                return;
            }
        }
        answers_.push_back({iid, status});
    }

    IUnknown* Unknown() { return static_cast<CameraItem*>(this); }
    ULONG Refs() const { return refs_; }
    // How many times the object was asked for `iid`.
    int Asked(REFIID iid) const {
        int count = 0;
        for (const IID& asked : asked_) {
            count += IsEqualGUID(asked, iid) ? 1 : 0;
        }
        return count;
    }

    // ISupportErrorInfo: the answer given, and the identities it was asked about.
    HRESULT supportsAnswer = S_OK;
    std::vector<IID> supportQuestions;
    // IRunnableObject: Run's status and how often it ran.
    HRESULT runStatus = S_OK;
    int runs = 0;
    // CameraItem: the status and the text of both operations (null text: a null BSTR).
    HRESULT itemStatus = S_OK;
    const OLECHAR* itemText = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        asked_.push_back(iid);
        *object = nullptr;
        const HRESULT status = StatusFor(iid);
        if (SUCCEEDED(status)) {
            *object = Interface(iid);
            AddRef();
        }
        return status;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        EXPECT_GT(refs_, 1u) << "released the test's own reference";
        return --refs_;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE GetDrivePath(BSTR* path) override { return HandOut(path); }
    HRESULT STDMETHODCALLTYPE GetModelName(BSTR* name) override { return HandOut(name); }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        supportQuestions.push_back(iid);
        return supportsAnswer;
    }

    HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run(IBindCtx*) override {
        ++runs;
        return runStatus;
    }
    BOOL STDMETHODCALLTYPE IsRunning() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE LockRunning(BOOL, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL) override { return S_OK; }

private:
    struct Entry {
        IID iid;
        HRESULT status;
    };

    HRESULT StatusFor(REFIID iid) const {
        for (const Entry& e : answers_) {
            if (IsEqualGUID(e.iid, iid)) {
                return e.status;
            }
        }
        return E_NOINTERFACE;
    }

    void* Interface(REFIID iid) {
        if (IsEqualGUID(iid, IID_ISupportErrorInfo)) {
            return static_cast<ISupportErrorInfo*>(this);
        }
        if (IsEqualGUID(iid, IID_IRunnableObject)) {
            return static_cast<IRunnableObject*>(this);
        }
        return static_cast<CameraItem*>(this);
    }

    HRESULT HandOut(BSTR* out) {
        *out = nullptr;
        if (SUCCEEDED(itemStatus) && itemText != nullptr) {
            *out = SysAllocString(itemText);
        }
        return itemStatus;
    }

    ULONG refs_ = 1;
    std::vector<IID> asked_;
    std::vector<Entry> answers_ = {{IID_IUnknown, S_OK}, {IID_IDispatch, S_OK}, {IID_CameraItem, S_OK}};
};

#pragma GCC diagnostic pop
