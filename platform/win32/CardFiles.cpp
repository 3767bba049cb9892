// The card's services over the system's own path services.  The card holds its drive folder
// open, so that it is neither moved nor removed while the card is open, and keeps its name,
// to which each path below is appended; while a service runs the folders below the drive
// folder are held, none a reparse point (HeldFolders).  The last name is never followed
// either: the services that take a name act on the name itself (a move, a removal, the
// attributes), and a file is opened with FILE_FLAG_OPEN_REPARSE_POINT and refused when it
// is one.
#include "platform/CardFiles.h"

#include "platform/SystemApi.h"
#include "platform/win32/Handles.h"
#include "platform/win32/HeldFolders.h"

#include <cstring>
#include <new>
#include <utility>

namespace platform::card {
namespace {

using win32::HeldFolders;
using win32::KernelHandle;

// What a card handle points to, from the process heap.
struct OpenCard {
    KernelHandle drive;
    // The drive folder's name as the component gave it, ending in a separator.
    char path[MAX_PATH];
};

// The open card behind `card`; null with ERROR_INVALID_HANDLE for none.
const OpenCard* CardOf(HANDLE card) {
    if (card == nullptr || card == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<const OpenCard*>(card);
}

// Whether `path` ends in a separator, walked by characters of the ANSI code page, in which a
// trail byte may equal '\'.
bool EndsInSeparator(const char* path) {
    bool separator = false;
    for (const char* p = path; *p != '\0';) {
        const int step = NarrowCharLength(p);
        if (step < 0) {
            return false;
        }
        separator = step == 1 && (*p == '\\' || *p == '/');
        p += step;
    }
    return separator;
}

bool IsReparsePoint(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    return sys.GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

HANDLE OpenCardFolder(LPCSTR driveFolder) {
    if (driveFolder == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // A separator is added where the name lacks one, so that a name appended stays below the
    // folder, never relative to the drive's current folder.
    const std::size_t length = std::strlen(driveFolder);
    const bool separated = EndsInSeparator(driveFolder);
    if (length + (separated ? 0 : 1) >= MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    // Opened as named: the drive folder itself may be a reparse point, where the system
    // mounts the card.  Held with data access, so that the share mode counts.
    KernelHandle drive(::CreateFileA(driveFolder, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (drive.IsEmpty()) {
        const DWORD error = GetLastError();
        SetLastError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
        return INVALID_HANDLE_VALUE;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(drive.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    void* block = HeapAlloc(GetProcessHeap(), 0, sizeof(OpenCard));
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    auto* card = new (block) OpenCard{std::move(drive), {}};
    std::memcpy(card->path, driveFolder, length);
    std::memcpy(card->path + length, separated ? "" : "\\", separated ? 1 : 2);
    return card;
}

BOOL CloseCardFolder(HANDLE card) {
    if (CardOf(card) == nullptr) {
        return FALSE;
    }
    auto* open = static_cast<OpenCard*>(card);
    const bool closed = open->drive.Close();
    open->~OpenCard();
    return HeapFree(GetProcessHeap(), 0, card) && closed;
}

HANDLE CreateFileA(HANDLE card, LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile) {
    const OpenCard* open = CardOf(card);
    if (open == nullptr) {
        return INVALID_HANDLE_VALUE;
    }
    const HeldFolders folders(open->path, name, HeldFolders::Last::kName);
    if (!folders.Held()) {
        return INVALID_HANDLE_VALUE;
    }
    KernelHandle file(::CreateFileA(folders.Path(), access, share, security, disposition,
                                    flags | FILE_FLAG_OPEN_REPARSE_POINT, templateFile));
    if (file.IsEmpty()) {
        return INVALID_HANDLE_VALUE;
    }
    // The create's own last error (ERROR_ALREADY_EXISTS for a file replaced) is the caller's.
    const DWORD created = GetLastError();
    if (IsReparsePoint(file.Get())) {
        file.Reset();
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(created);
    return file.Detach();
}

BOOL DeleteFileA(HANDLE card, LPCSTR name) {
    const OpenCard* open = CardOf(card);
    if (open == nullptr) {
        return FALSE;
    }
    const HeldFolders folders(open->path, name, HeldFolders::Last::kName);
    return folders.Held() && ::DeleteFileA(folders.Path());
}

BOOL MoveFileExA(HANDLE card, LPCSTR existing, LPCSTR newName, DWORD flags) {
    const OpenCard* open = CardOf(card);
    if (open == nullptr) {
        return FALSE;
    }
    const HeldFolders from(open->path, existing, HeldFolders::Last::kName);
    if (!from.Held()) {
        return FALSE;
    }
    const HeldFolders to(open->path, newName, HeldFolders::Last::kName);
    return to.Held() && ::MoveFileExA(from.Path(), to.Path(), flags);
}

BOOL GetFileAttributesExA(HANDLE card, LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID information) {
    const OpenCard* open = CardOf(card);
    if (open == nullptr) {
        return FALSE;
    }
    const HeldFolders folders(open->path, name, HeldFolders::Last::kName);
    return folders.Held() && ::GetFileAttributesExA(folders.Path(), level, information);
}

BOOL GetDiskFreeSpaceExA(HANDLE card, LPCSTR directory, PULARGE_INTEGER freeBytesAvailable, PULARGE_INTEGER totalBytes,
                         PULARGE_INTEGER totalFreeBytes) {
    const OpenCard* open = CardOf(card);
    if (open == nullptr) {
        return FALSE;
    }
    const HeldFolders folders(open->path, directory, HeldFolders::Last::kFolder);
    return folders.Held() && ::GetDiskFreeSpaceExA(folders.Path(), freeBytesAvailable, totalBytes, totalFreeBytes);
}

BOOL GetDiskFreeSpaceA(HANDLE card, LPCSTR directory, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
    const OpenCard* open = CardOf(card);
    if (open == nullptr) {
        return FALSE;
    }
    const HeldFolders folders(open->path, directory, HeldFolders::Last::kFolder);
    return folders.Held() &&
           ::GetDiskFreeSpaceA(folders.Path(), sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

}  // namespace platform::card
