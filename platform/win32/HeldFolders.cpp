#include "platform/win32/HeldFolders.h"

#include "platform/SystemApi.h"

#include <cstring>

namespace platform::win32 {
namespace {

bool IsSeparator(const char* character, int length) { return length == 1 && (*character == '\\' || *character == '/'); }

bool IsDots(const char* name, std::size_t length) {
    return (length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.');
}

// Fails with `error` and says so.
bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

}  // namespace

HeldFolders::HeldFolders(LPCSTR drive, LPCSTR below, Last last) {
    if (below == nullptr || *below == '\\' || *below == '/') {
        // A path from a root would leave the drive folder at once.
        Fail(ERROR_PATH_NOT_FOUND);
        return;
    }
    const std::size_t driveLength = std::strlen(drive);
    const std::size_t belowLength = std::strlen(below);
    if (driveLength + belowLength >= sizeof path_) {
        Fail(ERROR_FILENAME_EXCED_RANGE);
        return;
    }
    std::memcpy(path_, drive, driveLength);
    std::memcpy(path_ + driveLength, below, belowLength + 1);
    HoldBelow(driveLength, last);
}

void HeldFolders::HoldBelow(std::size_t driveLength, Last last) {
    char text[MAX_PATH];
    std::memcpy(text, path_, sizeof text);
    // The components below the drive folder, walked by characters of the ANSI code page, in
    // which a trail byte may equal '\'.
    std::size_t starts[kMostFolders];
    std::size_t ends[kMostFolders];
    int components = 0;
    std::size_t start = driveLength;
    for (std::size_t at = driveLength;;) {
        const int step = NarrowCharLength(text + at);
        if (step < 0) {
            Fail(ERROR_PATH_NOT_FOUND);
            return;
        }
        if (step == 0 || IsSeparator(text + at, step)) {
            if (at > start) {
                starts[components] = start;
                ends[components] = at;
                ++components;
            }
            if (step == 0) {
                break;
            }
            start = at + 1;
        }
        at += static_cast<std::size_t>(step);
    }
    for (int i = 0; i < components; ++i) {
        if (IsDots(text + starts[i], ends[i] - starts[i])) {
            Fail(ERROR_PATH_NOT_FOUND);
            return;
        }
    }
    const int folders = last == Last::kFolder ? components : components - 1;
    for (int i = 0; i < folders; ++i) {
        const char kept = text[ends[i]];
        text[ends[i]] = '\0';
        const bool held = Hold(text, i == components - 1);
        text[ends[i]] = kept;
        if (!held) {
            return;
        }
    }
    held_ = true;
}

// Opens the folder `prefix` names and checks it; false with the last error set when it is
// none of the card's folders.
bool HeldFolders::Hold(char* prefix, bool last) {
    KernelHandle& folder = folders_[count_];
    folder.Reset(::CreateFileA(prefix, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                               nullptr));
    if (folder.IsEmpty()) {
        // A folder the path goes through that is missing is a path not found; the last one
        // fails as the service would.
        const DWORD error = GetLastError();
        return Fail(!last && error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
    }
    ++count_;
    BY_HANDLE_FILE_INFORMATION opened{};
    WIN32_FILE_ATTRIBUTE_DATA named{};
    if (!sys.GetFileInformationByHandle(folder.Get(), &opened) ||
        !::GetFileAttributesExA(prefix, GetFileExInfoStandard, &named)) {
        return false;
    }
    if (((opened.dwFileAttributes | named.dwFileAttributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    if ((opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return Fail(last ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND);
    }
    return true;
}

}  // namespace platform::win32
