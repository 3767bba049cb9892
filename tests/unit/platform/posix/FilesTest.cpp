// File failures that need POSIX means to provoke: a full device, a file-size limit, names
// taken by links and FIFOs; and how a file opened without buffering bypasses the cache.
#include "platform/Platform.h"
#include "platform/posix/FileSizeLimit.h"

#include "support/RowName.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "support/FileContent.h"
#include "support/RamfsFolder.h"

namespace {

TEST(PosixFiles, WriteToAFullDeviceFailsWithDiskFull) {
    const HANDLE device = CreateFileA("/dev/full", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    DWORD written = 77;
    EXPECT_FALSE(WriteFile(device, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DISK_FULL});
    EXPECT_TRUE(CloseHandle(device));
}

// A write that only part of fits fails as Windows fails it, with the part counted: the
// device is out of room, which a short count alone would not say.
TEST(PosixFiles, WriteThatFillsTheDeviceFailsWithDiskFullAndCountsWhatFit) {
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("fw-fill-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(folder);
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) {
        std::filesystem::remove(folder);
        GTEST_SKIP() << "mounting a tmpfs needs root; a device filling up is not exercised";
    }
    const std::string bytes(256 * 1024, 'f');
    const HANDLE file = CreateFileA((folder + "/package.fw").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    SetLastError(0);
    EXPECT_FALSE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DISK_FULL});
    EXPECT_GT(written, 0u) << "the part that fit is counted";
    EXPECT_LT(written, bytes.size());
    EXPECT_TRUE(CloseHandle(file));
    umount2(folder.c_str(), MNT_DETACH);
    std::filesystem::remove_all(folder);
}

// One write reports what the system took: under a file-size limit that is a short count,
// and no second attempt turns it into a failure.
TEST(PosixFiles, ShortWriteReportsTheBytesWritten) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("fw-short-" + std::to_string(getpid()))).string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const BOOL ok = WriteFile(file, "0123456789abcdefghij", 20, &written, nullptr);
        CloseHandle(file);
        _exit(ok && written == 10 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::error_code ignored;
    const auto size = std::filesystem::file_size(path, ignored);
    std::filesystem::remove(path, ignored);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "WriteFile did not report the 10 bytes written as a success";
    EXPECT_EQ(size, 10u);
}

// The program's own setting: a write beyond a file-size limit fails as writes fail, without
// SIGXFSZ ending the process, and without passing for a full card (the card may have room).
TEST(PosixFiles, WriteBeyondTheFileSizeLimitFailsAndTellsNoFullCard) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("fw-limit-" + std::to_string(getpid()))).string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        platform::posix::FailWritesBeyondFileSizeLimit();
        const rlimit limit{10, 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const BOOL first = WriteFile(file, "0123456789", 10, &written, nullptr);
        const BOOL beyond = WriteFile(file, "abcdefghij", 10, &written, nullptr);
        const DWORD error = GetLastError();
        CloseHandle(file);
        _exit(first && !beyond && written == 0 && error == ERROR_FILE_TOO_LARGE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::filesystem::remove(path);
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the write beyond the limit did not fail with ERROR_FILE_TOO_LARGE";
}

// The open flags of this process's descriptor for `path`, from /proc; -1 when none is open.
long OpenFlagsOf(const std::string& path) {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        char target[PATH_MAX] = {};
        const ssize_t length = readlink(entry.path().c_str(), target, sizeof target - 1);
        if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == path) {
            std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
            for (std::string line; std::getline(info, line);) {
                if (line.rfind("flags:", 0) == 0) {
                    return std::stol(line.substr(6), nullptr, 8);
                }
            }
        }
    }
    return -1;
}

// Opens `folder`/file (a file of 10000 bytes, synced) without buffering, reads it back and
// returns the descriptor's flags.
long ReadBackWithoutBuffering(const std::string& folder) {
    const std::string path = folder + "file.bin";
    const std::string bytes(10000, 'r');
    std::ofstream(path, std::ios::binary) << bytes;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_NO_BUFFERING, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << "a file system that refuses O_DIRECT must not refuse the open";
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const long flags = OpenFlagsOf(path);
    alignas(4096) static char chunk[16384];
    DWORD read = 0;
    EXPECT_TRUE(ReadFile(file, chunk, sizeof chunk, &read, nullptr));
    EXPECT_EQ(std::string(chunk, read), bytes);
    EXPECT_TRUE(CloseHandle(file));
    std::filesystem::remove(path);
    return flags;
}

TEST(PosixFiles, NoBufferingReadsUseDirectIoWhereTheFileSystemTakesIt) {
    const std::string folder = std::filesystem::temp_directory_path().string() + "/";
    if (!RamfsFolder::TakesDirectIo(folder)) {
        GTEST_SKIP() << folder << " refuses O_DIRECT; the ramfs test covers the fallback";
    }
    EXPECT_NE(ReadBackWithoutBuffering(folder) & O_DIRECT, 0) << "opened without O_DIRECT";
}

TEST(PosixFiles, NoBufferingFallsBackWhereTheFileSystemRefusesDirectIo) {
    const RamfsFolder ramfs;
    if (!ramfs.Mounted()) {
        GTEST_SKIP() << "mounting a ramfs needs root; the fallback is not exercised";
    }
    ASSERT_FALSE(RamfsFolder::TakesDirectIo(ramfs.Path())) << "this kernel's ramfs takes O_DIRECT";
    EXPECT_EQ(ReadBackWithoutBuffering(ramfs.Path()) & O_DIRECT, 0);
}

// A file system turned read-only under an open file, as the kernel turns a FAT it finds
// inconsistent: the volume says so through the file's handle.
TEST(PosixFiles, VolumeTurnedReadOnlyIsToldThroughAnOpenHandle) {
    RamfsFolder ramfs;
    if (!ramfs.Mounted()) {
        GTEST_SKIP() << "mounting a ramfs needs root; a volume turning read-only is not exercised";
    }
    const std::string path = ramfs.Path() + "package.fw";
    std::ofstream(path) << "package";
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD flags = FILE_READ_ONLY_VOLUME;
    EXPECT_TRUE(GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0));
    EXPECT_EQ(flags, 0u);
    ASSERT_TRUE(ramfs.RemountReadOnly());
    EXPECT_TRUE(GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0));
    EXPECT_EQ(flags, DWORD{FILE_READ_ONLY_VOLUME});
    EXPECT_TRUE(CloseHandle(file));
}

// A name taken by a link or a special file is neither followed nor written: the create
// fails at once, and what the link points to keeps its content.
struct TakenNameRow {
    const char* name;
    void (*take)(const std::filesystem::path& name, const std::filesystem::path& outside);
};

void PrintTo(const TakenNameRow& row, std::ostream* out) { *out << row.name; }

class PosixCreateAtTakenName : public testing::TestWithParam<TakenNameRow> {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / ("fw-taken-" + std::to_string(getpid()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_ / "card");
        std::ofstream(folder_ / "outside") << "not the card's";
    }
    void TearDown() override {
        if (reader_ >= 0) {
            close(reader_);
        }
        std::filesystem::remove_all(folder_);
    }

    std::filesystem::path folder_;
    int reader_ = -1;
};

// A FIFO with a reader waiting, so that an open for writing would succeed at once.
int g_fifoReader = -1;

TEST_P(PosixCreateAtTakenName, IsRefusedAndNothingOutsideIsTouched) {
    const std::filesystem::path name = folder_ / "card" / "R5610200.fw";
    GetParam().take(name, folder_ / "outside");
    reader_ = std::exchange(g_fifoReader, -1);
    for (const DWORD disposition : {DWORD{CREATE_ALWAYS}, DWORD{CREATE_NEW}}) {
        const HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE) << "disposition " << disposition;
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    EXPECT_EQ(FileContent(folder_ / "outside"), "not the card's");
    EXPECT_FALSE(std::filesystem::is_regular_file(std::filesystem::symlink_status(name)));
}

INSTANTIATE_TEST_SUITE_P(
    Names, PosixCreateAtTakenName,
    testing::Values(
        TakenNameRow{"linkToAFileOutside",
                     [](const std::filesystem::path& name, const std::filesystem::path& outside) {
                         std::filesystem::create_symlink(outside, name);
                     }},
        TakenNameRow{"danglingLink",
                     [](const std::filesystem::path& name, const std::filesystem::path& outside) {
                         std::filesystem::create_symlink(outside.string() + "-new", name);
                     }},
        TakenNameRow{"fifoWithoutReader",
                     [](const std::filesystem::path& name, const std::filesystem::path&) {
                         ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
                     }},
        TakenNameRow{"fifoWithReader",
                     [](const std::filesystem::path& name, const std::filesystem::path&) {
                         ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
                         g_fifoReader = open(name.c_str(), O_RDONLY | O_NONBLOCK);
                         ASSERT_GE(g_fifoReader, 0);
                     }}),
    RowName<TakenNameRow>);

}  // namespace
