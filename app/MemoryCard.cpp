#include "app/MemoryCard.h"

#include "app/FileHandle.h"
#include "app/ReadBack.h"

namespace {

constexpr DWORD kProbePauseMs = 1000;
constexpr DWORD kNoCardAvailableLow = 0xFFFF0000u;

DWORD LowPart(const ULARGE_INTEGER& value) { return static_cast<DWORD>(value.QuadPart & 0xFFFFFFFFu); }

// The payload as a new file at `path`, in one write straight from the loaded resource, on
// the card before this returns: true when every byte was written, flushed and closed.
bool StageFile(const char* path, const BYTE* payload, DWORD payloadSize, DWORD* bytesWritten) {
    *bytesWritten = 0;
    FileHandle file(platform::sys.CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsOpen()) {
        return false;
    }
    // A short count is a failure, not a reason to retry.
    platform::sys.WriteFile(file.Get(), payload, payloadSize, bytesWritten, nullptr);
    const bool complete = *bytesWritten == payloadSize && platform::sys.FlushFileBuffers(file.Get());
    return file.Close() && complete;
}

}  // namespace

bool IsNoCardPattern(const CardSpace& space) {
    return space.freeBytesAvailable.QuadPart == space.totalFreeBytes.QuadPart &&
           LowPart(space.freeBytesAvailable) == kNoCardAvailableLow && LowPart(space.totalBytes) == 0;
}

bool ProbeMemoryCard(TextString folderPath, ULARGE_INTEGER* freeBytesAvailable, ULARGE_INTEGER* totalBytes,
                     ULARGE_INTEGER* totalFreeBytes) {
    freeBytesAvailable->QuadPart = 0;
    totalBytes->QuadPart = 0;
    totalFreeBytes->QuadPart = 0;

    // The camera's drive needs a moment after the first query before its counts settle.
    BOOL result = platform::sys.GetDiskFreeSpaceExA(folderPath.Text(), freeBytesAvailable, totalBytes,
                                                    totalFreeBytes);
    platform::sys.Sleep(kProbePauseMs);
    if (result == 1) {
        result = platform::sys.GetDiskFreeSpaceExA(folderPath.Text(), freeBytesAvailable, totalBytes,
                                                   totalFreeBytes);
    }

    const CardSpace space{*freeBytesAvailable, *totalBytes, *totalFreeBytes};
    if (IsNoCardPattern(space)) {
        return false;
    }
    return result != 0;
}

void RemoveLeftoverStaging(const char* stagingPath) {
    // Nothing there is the usual case; whatever stays is replaced by the write.
    platform::sys.DeleteFileA(stagingPath);
}

ULONGLONG AllocationUnit(const char* folderPath) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!platform::sys.GetDiskFreeSpaceA(folderPath, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                         &totalClusters)) {
        return 1;
    }
    const ULONGLONG unit = static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector;
    return unit != 0 ? unit : 1;
}

bool PayloadExceedsFreeSpace(DWORD payloadSize, ULONGLONG unit, const ULARGE_INTEGER& freeBytesAvailable) {
    // Counted in units, never multiplied back into bytes, so that no size overflows.
    const ULONGLONG units = payloadSize / unit + (payloadSize % unit != 0 ? 1 : 0) + 1;
    return units > freeBytesAvailable.QuadPart / unit;
}

bool WritePackageFile(const PackagePaths& paths, const BYTE* payload, DWORD payloadSize, DWORD* bytesWritten) {
    const bool published =
        StageFile(paths.staging, payload, payloadSize, bytesWritten) &&
        ReadBackMatches(paths.staging, paths.folder, payload, payloadSize) &&
        platform::sys.MoveFileExA(paths.staging, paths.package, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!published) {
        // Also when the staging file could not be created: whatever holds its name is ours.
        platform::sys.DeleteFileA(paths.staging);
    }
    return published;
}
