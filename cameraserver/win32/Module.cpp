// Where the DLL was loaded from, for the files the component keeps beside it and for registration.
#include "Module.h"

#include "../Component.h"

namespace cameraserver {

namespace {
const char anchor = 0;  // any address inside the DLL
}  // namespace

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, &anchor,
                       &module);
    return module;
}

std::string ModuleDirectory() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(ThisModule(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return ".";
    }
    const std::string text(path, length);
    const auto separator = text.find_last_of("\\/");
    return separator == std::string::npos ? "." : text.substr(0, separator);
}

}  // namespace cameraserver
