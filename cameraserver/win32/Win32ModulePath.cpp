// Where the DLL was loaded from, for the files the component keeps beside it and for registration.
#include "cameraserver/win32/Win32ModulePath.h"

#include "cameraserver/ModulePath.h"

namespace cameraserver {

namespace {
const char anchor = 0;  // any address inside the DLL
// The longest path the system hands out, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;
}  // namespace

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, &anchor,
                       &module);
    return module;
}

std::wstring ModuleFileName() {
    // A name that fills the buffer may have been cut: try again with more room.
    for (DWORD size = MAX_PATH; size <= kLongestPath; size *= 2) {
        std::wstring path(size, L'\0');
        const DWORD length = GetModuleFileNameW(ThisModule(), &path[0], size);
        if (length == 0) {
            return {};
        }
        if (length < size) {
            path.resize(length);
            return path;
        }
    }
    return {};
}

std::string ModulePath() {
    const std::wstring wide = ModuleFileName();
    if (wide.empty()) {
        return {};
    }
    const int units = static_cast<int>(wide.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), units, nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), units, &path[0], bytes, nullptr, nullptr) != bytes) {
        return {};
    }
    return path;
}

std::string ModuleDirectory() {
    const std::string path = ModulePath();
    const auto separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "." : path.substr(0, separator);
}

}  // namespace cameraserver
