// A COM object for tests that counts its references and answers QueryInterface from a
// table, so that a test can assert exact reference counts after each operation.
//
//   CountingDispatch object;                    // one reference, the test's
//   object.Answer(IID_IDispatch, E_FAIL);       // refuse IDispatch with E_FAIL
//   { InterfaceRef<IDispatch> ref; ref = object.Unknown(); EXPECT_EQ(object.Refs(), 2); }
//
// Its main interface is `Main` (IDispatch or one derived from it), and it can be run
// (IRunnableObject, which OleRun asks for).  By default it answers for IUnknown and
// IDispatch and refuses everything else with E_NOINTERFACE.  An identity that the table
// answers with success but that the object does not implement hands out its main
// interface: tests compare such pointers but never call through them.  The object lives
// on the test's stack and is never deleted by Release.
#pragma once

#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM bases have no destructor; the object is never deleted through one

template <class Main>
class CountingObject : public Main, public IRunnableObject {
public:
    CountingObject() = default;
    CountingObject(const CountingObject&) = delete;
    CountingObject& operator=(const CountingObject&) = delete;
    ~CountingObject() { EXPECT_EQ(refs_, 1u) << "a reference was leaked or released too often"; }

    void Answer(REFIID iid, HRESULT status) {
        for (Entry& e : answers_) {
            if (IsEqualGUID(e.iid, iid)) {
                e.status = status;
                return;
            }
        }
        answers_.push_back({iid, status});
    }

    IUnknown* Unknown() { return static_cast<Main*>(this); }
    ULONG Refs() const { return refs_; }
    // How many times the object was asked for `iid`.
    int Asked(REFIID iid) const {
        int count = 0;
        for (const IID& asked : asked_) {
            count += IsEqualGUID(asked, iid) ? 1 : 0;
        }
        return count;
    }

    // IRunnableObject: Run's status and how often it ran.
    HRESULT runStatus = S_OK;
    int runs = 0;

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

    HRESULT STDMETHODCALLTYPE GetRunningClass(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Run(IBindCtx*) override {
        ++runs;
        return runStatus;
    }
    BOOL STDMETHODCALLTYPE IsRunning() override { return FALSE; }
    HRESULT STDMETHODCALLTYPE LockRunning(BOOL, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL) override { return S_OK; }

protected:
    // The pointer handed out for `iid`, which the table answers with success.
    virtual void* Interface(REFIID iid) {
        if (IsEqualGUID(iid, IID_IRunnableObject)) {
            return static_cast<IRunnableObject*>(this);
        }
        return static_cast<Main*>(this);
    }

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

    ULONG refs_ = 1;
    std::vector<IID> asked_;
    std::vector<Entry> answers_ = {{IID_IUnknown, S_OK}, {IID_IDispatch, S_OK}};
};

#pragma GCC diagnostic pop

// The plain counting object: IUnknown and IDispatch.
using CountingDispatch = CountingObject<IDispatch>;
