#include "platform/win32/ComponentPath.h"

#include <cwchar>
#include <new>

namespace platform::win32 {
namespace {

// The longest path the system hands out, in UTF-16 units, its terminator included.
constexpr DWORD kLongestPath = 32768;

// The length of `path` up to its last separator; 0 when it has none.
std::size_t FolderLength(const wchar_t* path, std::size_t length) {
    while (length > 0 && path[length - 1] != L'\\' && path[length - 1] != L'/') {
        --length;
    }
    return length == 0 ? 0 : length - 1;
}

}  // namespace

std::unique_ptr<wchar_t[]> ProgramPath() noexcept {
    // A name that fills the buffer may have been cut: try again with more room, up to the
    // longest path there is.
    for (DWORD size = MAX_PATH;; size = size * 2 < kLongestPath ? size * 2 : kLongestPath) {
        std::unique_ptr<wchar_t[]> path(new (std::nothrow) wchar_t[size]);
        if (path == nullptr) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        const DWORD length = GetModuleFileNameW(nullptr, path.get(), size);
        if (length == 0) {
            return nullptr;
        }
        if (length < size) {
            return path;
        }
        if (size == kLongestPath) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return nullptr;
        }
    }
}

std::unique_ptr<wchar_t[]> ShortPath(const wchar_t* path) noexcept {
    const DWORD size = GetShortPathNameW(path, nullptr, 0);
    if (size == 0) {
        return nullptr;
    }
    std::unique_ptr<wchar_t[]> shorter(new (std::nothrow) wchar_t[size]);
    if (shorter == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const DWORD length = GetShortPathNameW(path, shorter.get(), size);
    if (length == 0 || length >= size) {
        return nullptr;
    }
    return shorter;
}

ComponentPath::ComponentPath(LPCWSTR programPath, LPCWSTR component) noexcept {
    const std::size_t programFolder = FolderLength(programPath, std::wcslen(programPath));
    if (programFolder == 0) {
        return;
    }
    const std::size_t componentLength = std::wcslen(component);
    const std::size_t fileLength = programFolder + 1 + componentLength;
    // The component's folder is the program's folder when it names a file directly there.
    const std::size_t componentFolder = FolderLength(component, componentLength);
    const std::size_t folderLength = programFolder + (componentFolder == 0 ? 0 : 1 + componentFolder);
    text_.reset(new (std::nothrow) wchar_t[fileLength + 1 + folderLength + 1]);
    if (text_ == nullptr) {
        return;
    }
    wchar_t* file = text_.get();
    std::wmemcpy(file, programPath, programFolder);
    file[programFolder] = L'\\';
    std::wmemcpy(file + programFolder + 1, component, componentLength);
    file[fileLength] = L'\0';
    folderStart_ = fileLength + 1;
    std::wmemcpy(file + folderStart_, file, folderLength);
    file[folderStart_ + folderLength] = L'\0';
}

}  // namespace platform::win32
