// durablereplace PAYLOAD FOLDER NAME
//
// Puts the bytes of PAYLOAD at FOLDER/NAME as the utility puts its package on a POSIX card,
// with the same requests to the file system in the same order and nothing else (no probe,
// no locks, no checks of links or bounds): one write to NAME~, synced; a read back past the
// page cache in 64 KiB chunks, compared; the move over NAME; the moved file synced under
// its new name, then the folder, then the file system; last the staging descriptor synced
// once more and closed, as the utility flushes the handle that still holds the file.
// Ends with 0, or with 1 and the failed step on the standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kAlignment = 4096;  // covers a device's logical block, as O_DIRECT needs

[[noreturn]] void Fail(const char* step, const std::string& what) {
    std::fprintf(stderr, "durablereplace: %s %s: %s\n", step, what.c_str(), std::strerror(errno));
    std::exit(1);
}

// The payload mapped, as the utility's payload is mapped with its own image: its pages come
// in from the page cache as they are written.
struct Bytes {
    const char* data;
    size_t size;
};

Bytes MapWhole(const char* path) {
    const int file = open(path, O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file < 0 || fstat(file, &info) != 0) {
        Fail("reading", path);
    }
    const auto size = static_cast<size_t>(info.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
    if (mapped == MAP_FAILED) {
        Fail("mapping", path);
    }
    close(file);
    return Bytes{static_cast<const char*>(mapped), size};
}

void WriteWhole(int file, const Bytes& bytes, const std::string& name) {
    size_t done = 0;
    while (done < bytes.size) {
        const ssize_t count = write(file, bytes.data + done, bytes.size - done);
        if (count <= 0) {
            Fail("writing", name);
        }
        done += static_cast<size_t>(count);
    }
}

// Where O_DIRECT is refused (tmpfs before Linux 6.6, ramfs) the synced file's clean pages
// are dropped instead, as the utility does.
int OpenUncached(int folder, const std::string& name) {
    int file = openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
    if (file < 0 && errno == EINVAL) {
        file = openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
        if (file >= 0) {
            posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
        }
    }
    return file;
}

bool ReadBackMatches(int folder, const std::string& name, const Bytes& expected) {
    const int file = OpenUncached(folder, name);
    if (file < 0) {
        Fail("opening for the read-back", name);
    }
    alignas(kAlignment) static char chunk[kChunk];
    size_t compared = 0;
    ssize_t count = kChunk;
    while (count == static_cast<ssize_t>(kChunk)) {
        count = read(file, chunk, kChunk);
        if (count < 0) {
            Fail("reading back", name);
        }
        const auto got = static_cast<size_t>(count);
        if (got > expected.size - compared || std::memcmp(chunk, expected.data + compared, got) != 0) {
            return false;
        }
        compared += got;
    }
    close(file);
    return compared == expected.size;
}

// A descriptor that cannot be synced (EINVAL, a folder on some file systems) has nothing to
// write, as the utility takes it.
void Sync(int file, const char* step, const std::string& name) {
    if (fsync(file) != 0 && errno != EINVAL) {
        Fail(step, name);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: durablereplace PAYLOAD FOLDER NAME\n");
        return 2;
    }
    const Bytes payload = MapWhole(argv[1]);
    const std::string folderPath = argv[2];
    const std::string name = argv[3];
    const std::string staging = name + "~";

    const int folder = open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) {
        Fail("opening", folderPath);
    }
    const int file = openat(folder, staging.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (file < 0) {
        Fail("creating", staging);
    }
    WriteWhole(file, payload, staging);
    Sync(file, "syncing", staging);
    if (!ReadBackMatches(folder, staging, payload)) {
        errno = EIO;
        Fail("comparing", staging);
    }
    if (renameat(folder, staging.c_str(), folder, name.c_str()) != 0) {
        Fail("moving", staging);
    }
    const int moved = openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (moved < 0) {
        Fail("opening", name);
    }
    Sync(moved, "syncing", name);
    close(moved);
    Sync(folder, "syncing", folderPath);
    if (syncfs(folder) != 0) {
        Fail("syncing the file system of", folderPath);
    }
    Sync(file, "syncing", staging);
    if (close(file) != 0) {
        Fail("closing", staging);
    }
    close(folder);
    return 0;
}
