#include "cameraserver/LogFile.h"

#include "platform/Platform.h"
#include "platform/win32/Handles.h"

namespace cameraserver {

void AppendLogLine(const char* path, const std::string& line) noexcept {
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than where it points, and a
    // link is then refused as no plain file; so is a pipe, a device or a folder.
    const platform::win32::KernelHandle file(CreateFileA(path, FILE_APPEND_DATA,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                                         nullptr));
    if (file.IsEmpty()) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileType(file.Get()) == FILE_TYPE_DISK && GetFileInformationByHandle(file.Get(), &info) &&
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (plain) {
        DWORD written = 0;
        WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        WriteFile(file.Get(), "\n", 1, &written, nullptr);
    }
}

}  // namespace cameraserver
