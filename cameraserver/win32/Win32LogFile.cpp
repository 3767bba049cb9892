#include "cameraserver/LogFile.h"

#include "platform/Platform.h"

namespace cameraserver {

void AppendLogLine(const char* path, const std::string& line) noexcept {
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself rather than where it points, and a
    // link is then refused as no plain file; so is a pipe, a device or a folder.
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool plain = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (plain) {
        DWORD written = 0;
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        WriteFile(file, "\n", 1, &written, nullptr);
    }
    CloseHandle(file);
}

}  // namespace cameraserver
