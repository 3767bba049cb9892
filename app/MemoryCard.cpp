#include "app/MemoryCard.h"

#include "platform/FileHandle.h"
#include "app/ReadBack.h"
#include "app/VolumeUnits.h"
#include "platform/SystemApi.h"

namespace {

constexpr DWORD kProbePauseMs = 1000;
constexpr DWORD kNoCardAvailableLow = 0xFFFF0000u;

DWORD LowPart(const ULARGE_INTEGER& value) { return static_cast<DWORD>(value.QuadPart & 0xFFFFFFFFu); }

// The staging file's handle lets others read and remove the file but never write it, so
// that one upgrade at a time writes to a card: a second run cannot open it for writing or
// remove it as a leftover while this one holds it, from its creation to its move.
constexpr DWORD kStagingShare = FILE_SHARE_READ | FILE_SHARE_DELETE;

// The payload in one write straight from the loaded resource to `staging`, flushed to the
// card: true when every byte was written and flushed.  A short count is a failure, not a
// reason to retry; reported without an error of its own, it says nothing of the card's room.
bool StageFile(const platform::FileHandle& staging, const BYTE* payload, DWORD payloadSize,
               DWORD* bytesWritten) {
    if (!platform::sys.WriteFile(staging.Get(), payload, payloadSize, bytesWritten, nullptr)) {
        return false;
    }
    if (*bytesWritten != payloadSize) {
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return platform::sys.FlushFileBuffers(staging.Get()) != 0;
}

// Whether the step that just failed ran out of room: the card can be full after all, as a
// file system's own overhead (ext2's indirect blocks, a folder's new cluster) is more than
// the whole allocation units counted before the write.
bool RoomRanOut() {
    const DWORD error = GetLastError();
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// The package as the card holds it under its own name: a regular file of `size` bytes.
bool PackageInPlace(const platform::CardFolder& card, const char* package, DWORD size) {
    WIN32_FILE_ATTRIBUTE_DATA found{};
    if (!platform::sys.CardGetFileAttributesExA(card.Get(), package, GetFileExInfoStandard, &found)) {
        return false;
    }
    constexpr DWORD kNoFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    return (found.dwFileAttributes & kNoFile) == 0 && found.nFileSizeHigh == 0 && found.nFileSizeLow == size;
}

// A volume that stopped taking writes during the run: a system turns a file system it finds
// inconsistent read-only, and what it was given last may never reach the card.  Not known
// is not writable.
bool VolumeStillWritable(const platform::FileHandle& file) {
    DWORD flags = 0;
    return platform::sys.GetVolumeInformationByHandleW(file.Get(), nullptr, 0, nullptr, nullptr, &flags, nullptr,
                                                       0) != 0 &&
           (flags & FILE_READ_ONLY_VOLUME) == 0;
}

}  // namespace

bool IsNoCardPattern(const CardSpace& space) {
    return space.freeBytesAvailable.QuadPart == space.totalFreeBytes.QuadPart &&
           LowPart(space.freeBytesAvailable) == kNoCardAvailableLow && LowPart(space.totalBytes) == 0;
}

bool ProbeMemoryCard(const platform::CardFolder& card, const char* folder, CardSpace& space) {
    space = CardSpace{};
    const auto query = [&card, folder, &space] {
        return platform::sys.CardGetDiskFreeSpaceExA(card.Get(), folder, &space.freeBytesAvailable, &space.totalBytes,
                                                     &space.totalFreeBytes);
    };

    // The camera's drive needs a moment after the first query before its counts settle.
    BOOL result = query();
    platform::sys.Sleep(kProbePauseMs);
    if (result == 1) {
        result = query();
    }

    if (IsNoCardPattern(space)) {
        return false;
    }
    return result != 0;
}

void RemoveLeftoverStaging(const platform::CardFolder& card, const char* stagingPath) {
    // Held while it goes, so that a staging file another run is writing right now stays: that
    // run holds it against writers, and this open fails.  Nothing there is the usual case.
    platform::FileHandle leftover(platform::sys.CardCreateFileA(card.Get(), stagingPath, GENERIC_WRITE, kStagingShare,
                                                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                                nullptr));
    if (!leftover.IsEmpty()) {
        platform::sys.CardDeleteFileA(card.Get(), stagingPath);
    }
}

ULONGLONG AllocationUnit(const platform::CardFolder& card, const char* folderPath) {
    VolumeUnits units;
    return QueryVolumeUnits(card, folderPath, &units) && units.cluster != 0 ? units.cluster : 1;
}

bool PayloadExceedsFreeSpace(DWORD payloadSize, ULONGLONG unit, const ULARGE_INTEGER& freeBytesAvailable) {
    // Counted in units, never multiplied back into bytes, so that no size overflows.
    const ULONGLONG units = payloadSize / unit + (payloadSize % unit != 0 ? 1 : 0) + 1;
    return units > freeBytesAvailable.QuadPart / unit;
}

WriteOutcome WritePackageFile(const platform::CardFolder& card, const PackagePaths& paths, const BYTE* payload,
                              DWORD payloadSize, DWORD* bytesWritten) {
    *bytesWritten = 0;
    bool full = false;
    // A step that may fail for lack of room, noted as it fails, before anything else sets
    // the last error.
    const auto mayFill = [&full](bool done) {
        full = full || (!done && RoomRanOut());
        return done;
    };
    const auto outcome = [&full](bool written) {
        return written ? WriteOutcome::Written : full ? WriteOutcome::NoRoom : WriteOutcome::Failed;
    };
    platform::FileHandle staging(platform::sys.CardCreateFileA(card.Get(), paths.Staging(), GENERIC_WRITE,
                                                               kStagingShare, nullptr, CREATE_ALWAYS,
                                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!mayFill(!staging.IsEmpty())) {
        // Another run's staging file stays as it is; anything else holding the name is ours.
        if (GetLastError() != ERROR_SHARING_VIOLATION) {
            platform::sys.CardDeleteFileA(card.Get(), paths.Staging());
        }
        return outcome(false);
    }
    // The handle stays open until the file has been moved, so that nobody writes the
    // verified bytes in between.
    const bool moved = mayFill(StageFile(staging, payload, payloadSize, bytesWritten)) &&
                       ReadBackMatches(card, paths.Staging(), paths.Folder(), payload, payloadSize) &&
                       mayFill(platform::sys.CardMoveFileExA(card.Get(), paths.Staging(), paths.Package(),
                                                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0);
    if (!moved) {
        platform::sys.CardDeleteFileA(card.Get(), paths.Staging());
        staging.Reset();
        return outcome(false);
    }
    // The move is done, the file is the package.  On FAT its folder entry holds its first
    // cluster and size, written with the file itself: flushed through the handle that still
    // holds it, or the card's entry may go on describing the replaced package for seconds
    // after the owner has been told to switch the camera off.  Then what the card holds is
    // looked at.  Any failure from here on leaves the new package in place, reported as failed.
    const bool durable = mayFill(platform::sys.FlushFileBuffers(staging.Get()) != 0) && VolumeStillWritable(staging);
    const bool closed = mayFill(staging.Close());
    return outcome(durable && closed && PackageInPlace(card, paths.Package(), payloadSize));
}
