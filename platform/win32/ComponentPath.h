// Where a component carried beside the program lies: the full path of its DLL and of the
// folder that holds it, from the program's own path and the component's path relative to
// the program's folder ("usbcamera\usbcamera.dll").  Only ever below the program's folder:
// never the working folder, never the DLL search path.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <memory>

namespace platform::win32 {

// The running program's full path as the system names it, of any length (a long or
// UNC path, any characters); null when it cannot be had, with the last error set.
std::unique_ptr<wchar_t[]> ProgramPath() noexcept;

// `path`, which must exist, in its short form (8.3 names where the volume keeps them, the
// long names elsewhere); null when the system gives none, with the last error set.
std::unique_ptr<wchar_t[]> ShortPath(const wchar_t* path) noexcept;

class ComponentPath {
public:
    // `programPath` is a full path ("C:\Tools\fwupgrade.exe", "\\server\share\fwupgrade.exe");
    // one without a folder gives an invalid path, as does a failed allocation.
    ComponentPath(LPCWSTR programPath, LPCWSTR component) noexcept;

    bool IsValid() const noexcept { return text_ != nullptr; }
    // "<program's folder>\<component>"
    LPCWSTR File() const noexcept { return text_.get(); }
    // The folder of File(), without a trailing separator.
    LPCWSTR Folder() const noexcept { return text_.get() + folderStart_; }

private:
    // File() and Folder() one after the other, each terminated.
    std::unique_ptr<wchar_t[]> text_;
    std::size_t folderStart_ = 0;
};

}  // namespace platform::win32
