// The common part of the component's objects: reference counting, QueryInterface, the
// IDispatch side (which the utility never calls), and the log lines they produce.
#pragma once

#include "platform/Platform.h"

#include <memory>
#include <string>

#include "cameraserver/Source.h"
#include "cameraserver/ServerLog.h"

namespace cameraserver {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // COM bases have no destructor; ours is virtual

// Implements IUnknown for an object whose main interface is I.  Derived classes say which
// identities they answer (Find) and may refuse one with a status (Refusal): the server's
// own objects refuse none.
template <class I>
class ServerObject : public I {
public:
    ServerObject(const ServerObject&) = delete;
    ServerObject& operator=(const ServerObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        HRESULT status = Refusal(iid);
        if (SUCCEEDED(status)) {
            *object = Find(iid);
            status = *object != nullptr ? S_OK : E_NOINTERFACE;
        }
        LogWith([&] { return "query " + name_ + " " + InterfaceName(iid) + " -> " + StatusText(status); });
        if (*object != nullptr) {
            AddRef();
        }
        return status;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        const ULONG count = ++references_;
        LogWith([&] { return "addref " + name_ + " refs=" + std::to_string(count); });
        return count;
    }

    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --references_;
        LogWith([&] { return "release " + name_ + " refs=" + std::to_string(count); });
        if (count == 0) {
            delete this;
        }
        return count;
    }

    const std::string& Name() const { return name_; }

protected:
    ServerObject(const char* kind, std::shared_ptr<Source> source, const std::string& details = "")
        : source_(std::move(source)), name_(Born(kind)) {
        Log("create " + name_ + (details.empty() ? "" : " " + details) + " refs=1");
    }
    virtual ~ServerObject() {
        const std::size_t live = Died(name_);
        LogWith([&] { return "destroy " + name_ + " live=" + std::to_string(live); });
    }

    // The interface pointer for `iid`, or null.
    virtual void* Find(REFIID iid) = 0;
    // A failure status with which to refuse `iid`, or S_OK.
    virtual HRESULT Refusal(REFIID /*iid*/) { return S_OK; }

    // Logs one call: "call <name> <operation>[ <arguments>] -> <status>[ <results>]".
    void LogCall(const std::string& operation, HRESULT status, const std::string& results = "",
                 const std::string& arguments = "") const {
        Log("call " + name_ + " " + operation + (arguments.empty() ? "" : " " + arguments) + " -> " +
            StatusText(status) + (results.empty() ? "" : " " + results));
    }

    const std::shared_ptr<Source> source_;

private:
    const std::string name_;
    ULONG references_ = 1;
};

// An object whose main interface derives from IDispatch.
template <class I>
class DispatchObject : public ServerObject<I> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        this->LogCall("GetTypeInfoCount", S_OK);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        this->LogCall("GetTypeInfo", E_NOTIMPL);
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        this->LogCall("GetIDsOfNames", E_NOTIMPL);
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        this->LogCall("Invoke", DISP_E_MEMBERNOTFOUND);
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    using ServerObject<I>::ServerObject;
};

#pragma GCC diagnostic pop

}  // namespace cameraserver
