#include "app/MemoryCard.h"

namespace {

constexpr DWORD kProbePauseMs = 1000;
constexpr DWORD kNoCardAvailableLow = 0xFFFF0000u;

DWORD LowPart(const ULARGE_INTEGER& value) { return static_cast<DWORD>(value.QuadPart & 0xFFFFFFFFu); }

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

bool PayloadExceedsFreeSpace(DWORD payloadSize, const ULARGE_INTEGER& freeBytesAvailable) {
    return static_cast<ULONGLONG>(payloadSize) > freeBytesAvailable.QuadPart;
}

bool WritePackageFile(const char* filePath, const BYTE* payload, DWORD payloadSize, DWORD* bytesWritten) {
    *bytesWritten = 0;
    HANDLE file = platform::sys.CreateFileA(filePath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }

    // One write straight from the loaded resource; a short count is a failure, not a reason
    // to retry.
    platform::sys.WriteFile(file, payload, payloadSize, bytesWritten, nullptr);
    bool complete = *bytesWritten == payloadSize;
    // Success is reported only once the bytes are on the card, not in a cache.
    if (complete && !platform::sys.FlushFileBuffers(file)) {
        complete = false;
    }
    if (!platform::sys.CloseHandle(file)) {
        complete = false;
    }
    if (!complete) {
        platform::sys.DeleteFileA(filePath);
    }
    return complete;
}
