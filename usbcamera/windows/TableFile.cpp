// The id table read through the wide calls, so that any folder name serves: a regular
// file of bounded size only (never a device or a pipe, which could hold the read for ever).
#include "TableFile.h"

#include <utility>

#include "Win32Handles.h"
#include "cameraserver/Utf8.h"

namespace usbcamera {

namespace {
// A table of every camera ever made fits in far less.
constexpr LONGLONG kLargestTable = 1 << 20;
}  // namespace

bool ReadTableFile(const std::string& path, std::string& text) {
    text.clear();
    cameraserver::Units wide;
    cameraserver::AppendUtf8(path, wide);
    const FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid() || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    LARGE_INTEGER size{};
    if (!GetFileInformationByHandle(file.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !GetFileSizeEx(file.Get(), &size) ||
        size.QuadPart < 0 || size.QuadPart > kLargestTable) {
        return false;
    }
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), &content[done], static_cast<DWORD>(content.size() - done), &got, nullptr)) {
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
