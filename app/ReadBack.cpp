#include "app/ReadBack.h"

#include <cstdint>
#include <cstring>

#include "app/FileHandle.h"

namespace {

// One chunk from the heap, aligned to `alignment` (a power of two) inside a block that is
// that much larger; released on every path.
class AlignedChunk {
public:
    explicit AlignedChunk(DWORD alignment)
        : block_(platform::sys.HeapAllocate(static_cast<SIZE_T>(kReadBackChunk) + alignment)) {
        if (block_ != nullptr) {
            const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(block_);
            data_ = reinterpret_cast<BYTE*>((address + alignment - 1) & ~static_cast<std::uintptr_t>(alignment - 1));
        }
    }
    ~AlignedChunk() { platform::sys.HeapRelease(block_); }
    AlignedChunk(const AlignedChunk&) = delete;
    AlignedChunk& operator=(const AlignedChunk&) = delete;

    // Null when the block was refused.
    BYTE* Data() const noexcept { return data_; }

private:
    void* block_;
    BYTE* data_ = nullptr;
};

// The volume's bytes per sector when a chunk is a whole number of sectors; 0 otherwise.
DWORD UsableSectorSize(const char* folderPath) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!platform::sys.GetDiskFreeSpaceA(folderPath, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                         &totalClusters)) {
        return 0;
    }
    const bool powerOfTwo = bytesPerSector != 0 && (bytesPerSector & (bytesPerSector - 1)) == 0;
    return powerOfTwo && bytesPerSector <= kReadBackChunk ? bytesPerSector : 0;
}

}  // namespace

bool ReadBackMatches(const char* filePath, const char* folderPath, const BYTE* expected, DWORD size) {
    const DWORD sector = UsableSectorSize(folderPath);
    if (sector == 0) {
        return false;
    }
    const AlignedChunk chunk(sector);
    if (chunk.Data() == nullptr) {
        return false;
    }
    FileHandle file(platform::sys.CreateFileA(filePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_NO_BUFFERING, nullptr));
    if (!file.IsOpen()) {
        return false;
    }

    // Whole chunks from chunk-aligned offsets; a short read is the end of the file, after
    // which the file position is no longer aligned, so nothing more is read.
    DWORD compared = 0;
    DWORD read = kReadBackChunk;
    while (read == kReadBackChunk) {
        if (!platform::sys.ReadFile(file.Get(), chunk.Data(), kReadBackChunk, &read, nullptr)) {
            return false;
        }
        if (read > kReadBackChunk || read > size - compared ||
            std::memcmp(chunk.Data(), expected + compared, read) != 0) {
            return false;
        }
        compared += read;
    }
    return compared == size && file.Close();
}
