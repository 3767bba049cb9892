// A component module loaded into the test program itself, its class object registered with
// the COM runtime for as long as the owner lives, so that CoCreateInstance finds it without
// any registry entry: under Wine the tests share their prefix with others that register
// the simulated camera under the same class.
#pragma once

#include "usbcamera/test/windows/ModuleFile.h"

#include "platform/Platform.h"

#include <string>

class LoadedComponent {
public:
    // Loads the module at `path` and registers its class object; Loaded() says whether it could.
    explicit LoadedComponent(const std::string& path);
    ~LoadedComponent() { Unload(); }
    LoadedComponent(const LoadedComponent&) = delete;
    LoadedComponent& operator=(const LoadedComponent&) = delete;

    bool Loaded() const { return cookie_ != 0; }

    // Revokes the class object, releases it, asks the component as COM would before it
    // unloads a module (DllCanUnloadNow: S_OK once it has no object and no lock left, which
    // it logs), and unloads it.  Returns that answer; E_FAIL once unloaded.
    HRESULT Unload();

private:
    ModuleFile module_;
    IUnknown* factory_ = nullptr;
    DWORD cookie_ = 0;
};
