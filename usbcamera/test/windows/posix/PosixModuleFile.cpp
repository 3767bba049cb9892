#include "usbcamera/test/windows/ModuleFile.h"

#include <dlfcn.h>

#include <cstring>

ModuleFile::ModuleFile(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}

ModuleFile::Address ModuleFile::FindAddress(const char* name) const {
    void* symbol = handle_ != nullptr ? dlsym(handle_, name) : nullptr;
    Address address = nullptr;
    static_assert(sizeof address == sizeof symbol, "dlsym hands out function addresses as data pointers");
    std::memcpy(&address, &symbol, sizeof symbol);
    return address;
}

// The C library keeps a module with unique symbols (the C++ library's) loaded all the same:
// its end is the program's.
void ModuleFile::Close() {
    if (handle_ != nullptr) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}
