#include "app/ReadBack.h"

#include <cstring>

#include "platform/FileHandle.h"
#include "app/VolumeUnits.h"
#include "platform/SystemApi.h"

namespace {

// The volume's bytes per sector when the chunk buffer's alignment covers it; 0 otherwise.
DWORD UsableSectorSize(const platform::CardFolder& card, const char* folder) {
    VolumeUnits units;
    if (!QueryVolumeUnits(card, folder, &units)) {
        return 0;
    }
    const DWORD bytesPerSector = units.bytesPerSector;
    const bool powerOfTwo = bytesPerSector != 0 && (bytesPerSector & (bytesPerSector - 1)) == 0;
    return powerOfTwo && bytesPerSector <= kReadBackLargestSector ? bytesPerSector : 0;
}

}  // namespace

bool ReadBackMatches(const platform::CardFolder& card, const char* name, const char* folder, const BYTE* expected,
                     DWORD size) {
    const DWORD sector = UsableSectorSize(card, folder);
    if (sector == 0) {
        return false;
    }
    alignas(kReadBackLargestSector) BYTE chunk[kReadBackChunk];
    // Beside the writer's handle, which stays open: it is let write, and keeps others from it.
    platform::FileHandle file(platform::sys.CardCreateFileA(card.Get(), name, GENERIC_READ,
                                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                            FILE_FLAG_NO_BUFFERING, nullptr));
    if (file.IsEmpty()) {
        return false;
    }

    // Whole chunks from chunk-aligned offsets; a short read is the end of the file, after
    // which the file position is no longer aligned, so nothing more is read.
    DWORD compared = 0;
    DWORD read = kReadBackChunk;
    while (read == kReadBackChunk) {
        if (!platform::sys.ReadFile(file.Get(), chunk, kReadBackChunk, &read, nullptr)) {
            return false;
        }
        if (read > kReadBackChunk || read > size - compared ||
            std::memcmp(chunk, expected + compared, read) != 0) {
            return false;
        }
        compared += read;
    }
    return compared == size && file.Close();
}
