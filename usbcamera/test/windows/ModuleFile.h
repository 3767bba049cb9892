// A module file loaded into the test program (a DLL; a shared object on POSIX), unloaded by
// its owner.
#pragma once

#include <string>

class ModuleFile {
public:
    // Loads the module at `path`; IsOpen() says whether it could.
    explicit ModuleFile(const std::string& path);
    ~ModuleFile() { Close(); }
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

    bool IsOpen() const { return handle_ != nullptr; }
    // The exported function `name` as a `Function`, or null.
    template <typename Function>
    Function Find(const char* name) const {
        return reinterpret_cast<Function>(FindAddress(name));
    }
    void Close();

private:
    using Address = void (*)();
    Address FindAddress(const char* name) const;

    void* handle_ = nullptr;
};
