#include "usbcamera/test/windows/ModuleFile.h"

#include "platform/Platform.h"

namespace {

std::wstring Wide(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(wide.size() - 1);
    return wide;
}

}  // namespace

ModuleFile::ModuleFile(const std::string& path) : handle_(LoadLibraryW(Wide(path).c_str())) {}

ModuleFile::Address ModuleFile::FindAddress(const char* name) const {
    const FARPROC symbol = handle_ != nullptr ? GetProcAddress(static_cast<HMODULE>(handle_), name) : nullptr;
    return reinterpret_cast<Address>(symbol);
}

void ModuleFile::Close() {
    if (handle_ != nullptr) {
        FreeLibrary(static_cast<HMODULE>(handle_));
        handle_ = nullptr;
    }
}
