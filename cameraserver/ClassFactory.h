// The class factory DllGetClassObject hands out: each manager it creates begins a new
// life of the component with its source of cameras opened afresh.
#pragma once

#include "cameraserver/ServerObject.h"

namespace cameraserver {

class Manager;

class ClassFactory : public ServerObject<IClassFactory> {
public:
    ClassFactory();

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

protected:
    // The manager of a new life, over the component's source opened afresh; null, with the
    // status to fail creation with, when it cannot be opened.
    virtual Manager* NewManager(HRESULT& status);

    void* Find(REFIID iid) override;
};

// What DllGetClassObject answers: a class factory made by `make` when `clsid` is the
// component's class, otherwise CLASS_E_CLASSNOTAVAILABLE.  Logged.
HRESULT HandOutClassObject(REFCLSID clsid, REFIID iid, void** object, ClassFactory* (*make)());

// Logs a DllGetClassObject call that ended with `status`.
void LogClassObject(REFCLSID clsid, REFIID iid, HRESULT status);

}  // namespace cameraserver
