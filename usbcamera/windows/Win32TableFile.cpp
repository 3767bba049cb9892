// The id table read through the wide calls, so that any folder name serves: a regular
// file of bounded size only (never a device or a pipe, which could hold the read for ever).
#include "usbcamera/TableFile.h"

#include <utility>

#include "platform/win32/Handles.h"
#include "cameraserver/Utf8.h"

namespace usbcamera {

bool ReadTableFile(const std::string& path, std::string& text, std::string& problem) {
    text.clear();
    cameraserver::Units wide;
    cameraserver::AppendUtf8(path, wide);
    const platform::win32::KernelHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.IsEmpty()) {
        problem = "cannot be opened (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    LARGE_INTEGER size{};
    if (GetFileType(file.Get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart < 0) {
        problem = "not a regular file";
        return false;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > kTableFileLimit) {
        problem = "larger than " + std::to_string(kTableFileLimit) + " bytes";
        return false;
    }
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), &content[done], static_cast<DWORD>(content.size() - done), &got, nullptr)) {
            problem = "cannot be read (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (got == 0) {
            break;  // shortened while read
        }
        done += got;
    }
    content.resize(done);
    text = std::move(content);
    return true;
}

}  // namespace usbcamera
