#include "platform/posix/FileInformation.h"

#include "platform/posix/ClampedCount.h"
#include "platform/posix/DescriptorHandles.h"
#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform::posix {
namespace {

// Seconds and nanoseconds since 1970 as 100-nanosecond intervals since 1601.
FILETIME FileTime(const struct timespec& time) {
    constexpr ULONGLONG kEpochDifference = 116444736000000000ull;
    const ULONGLONG intervals = kEpochDifference + static_cast<ULONGLONG>(time.tv_sec) * 10000000ull +
                                static_cast<ULONGLONG>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(intervals & 0xFFFFFFFFu), static_cast<DWORD>(intervals >> 32)};
}

// A link is what Windows calls a reparse point; anything but a file or a folder (a FIFO, a
// device) is a device to it.
DWORD AttributesOf(const struct stat& info) {
    if (S_ISREG(info.st_mode)) {
        return FILE_ATTRIBUTE_NORMAL;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return S_ISLNK(info.st_mode) ? FILE_ATTRIBUTE_REPARSE_POINT : FILE_ATTRIBUTE_DEVICE;
}

}  // namespace

bool StandardAttributesAsked(GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    if (level != GetFileExInfoStandard || information == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return true;
}

BOOL AttributesAt(const PathBeneath& path, LPVOID information) {
    struct stat info {};
    if (fstatat(path.Folder(), path.Name(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        SetLastError(NameError(errno));
        return FALSE;
    }
    auto& data = *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data = WIN32_FILE_ATTRIBUTE_DATA{};
    data.dwFileAttributes = AttributesOf(info);
    data.ftCreationTime = FileTime(info.st_mtim);
    data.ftLastAccessTime = FileTime(info.st_atim);
    data.ftLastWriteTime = FileTime(info.st_mtim);
    const auto size = static_cast<ULONGLONG>(info.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    return TRUE;
}

}  // namespace platform::posix

using platform::posix::PathBeneath;

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    if (!platform::posix::StandardAttributesAsked(level, information)) {
        return FALSE;
    }
    const PathBeneath path(name);
    return path.Folder() >= 0 && platform::posix::AttributesAt(path, information);
}

// The volume's serial number is the file system's device number, the file's index its inode
// number: two handles of one file give the same pair, as on Windows.
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    int descriptor = -1;
    if (!platform::posix::DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    struct stat info {};
    if (fstat(descriptor, &info) != 0) {
        SetLastError(platform::posix::ErrorFromErrno(errno));
        return FALSE;
    }
    *information = BY_HANDLE_FILE_INFORMATION{};
    information->dwFileAttributes = platform::posix::AttributesOf(info);
    information->ftCreationTime = platform::posix::FileTime(info.st_mtim);
    information->ftLastAccessTime = platform::posix::FileTime(info.st_atim);
    information->ftLastWriteTime = platform::posix::FileTime(info.st_mtim);
    information->dwVolumeSerialNumber = static_cast<DWORD>(info.st_dev);
    const auto size = static_cast<ULONGLONG>(info.st_size);
    information->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    information->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    information->nNumberOfLinks = platform::posix::ClampedCount(info.st_nlink);
    const auto index = static_cast<ULONGLONG>(info.st_ino);
    information->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    information->nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    return TRUE;
}
