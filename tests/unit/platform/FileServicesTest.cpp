// The file services of the package write, with paths spelled as the core spells them
// (backslash separators); the errors are those Windows reports.  Under Wine the same tests
// check the Windows behaviour that the POSIX layer reproduces.
#include "platform/Platform.h"

#include "support/RowName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& file) {
    std::string bytes(static_cast<std::size_t>(fs::file_size(file)), '\0');
    std::ifstream in(file, std::ios::binary);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void WriteAll(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

// A fresh folder holding "Current\Firmware\" and a plain file "plain.txt".
class FileServices : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("fw-files-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "Current" / "Firmware");
        WriteAll(root_ / "plain.txt", "plain");
        base_ = root_.string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // `relative` uses backslashes, as the core writes paths.
    std::string Path(const char* relative) const { return base_ + "\\" + relative; }

    HANDLE Create(const std::string& path, DWORD disposition = CREATE_ALWAYS) const {
        return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    fs::path root_;
    std::string base_;
};

TEST_F(FileServices, WritesFlushesAndClosesANewFile) {
    const std::string payload(70000, '\x5A');
    SetLastError(1234);
    const HANDLE file = Create(Path("Current\\Firmware\\package.fw"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});

    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr));
    EXPECT_EQ(written, payload.size());
    EXPECT_TRUE(WriteFile(file, payload.data(), 0, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadAll(root_ / "Current" / "Firmware" / "package.fw"), payload);
}

TEST_F(FileServices, CreateAlwaysReplacesAnExistingFile) {
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", std::string(100, 'x'));
    const HANDLE file = Create(Path("Current\\Firmware\\package.fw"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ALREADY_EXISTS});
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "new", 3, &written, nullptr));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(ReadAll(root_ / "Current" / "Firmware" / "package.fw"), "new");
}

struct CreateFailure {
    const char* name;
    const char* relative;
    DWORD access;
    DWORD disposition;
    DWORD error;
};

void PrintTo(const CreateFailure& row, std::ostream* out) { *out << row.name; }

class FileServicesCreateFailure : public FileServices, public testing::WithParamInterface<CreateFailure> {};

TEST_P(FileServicesCreateFailure, GivesInvalidHandleAndTheError) {
    const CreateFailure& row = GetParam();
    const std::string path = Path(row.relative);
    const HANDLE file = CreateFileA(path.c_str(), row.access, FILE_SHARE_READ, nullptr, row.disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), row.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileServicesCreateFailure,
    testing::Values(
        CreateFailure{"FolderMissing", "Current\\Missing\\package.fw", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        CreateFailure{"FolderIsAFile", "plain.txt\\package.fw", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        CreateFailure{"NameIsAFolder", "Current\\Firmware", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        CreateFailure{"FolderOpenedForReading", "Current", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        CreateFailure{"NewButExists", "plain.txt", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        CreateFailure{"ExistingButMissing", "absent.txt", GENERIC_WRITE, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        CreateFailure{"ExistingInMissingFolder", "Missing\\absent.txt", GENERIC_WRITE, OPEN_EXISTING,
                      ERROR_PATH_NOT_FOUND}),
    RowName<CreateFailure>);

TEST_F(FileServices, HandlesThatNameNoFileAreRefused) {
    const HANDLE closed = Create(Path("closed.bin"));
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(closed));

    for (const HANDLE handle : {HANDLE{nullptr}, INVALID_HANDLE_VALUE, closed}) {
        DWORD written = 99;
        SetLastError(0);
        EXPECT_FALSE(WriteFile(handle, "x", 1, &written, nullptr));
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        SetLastError(0);
        EXPECT_FALSE(FlushFileBuffers(handle));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
        char buffer[4];
        DWORD read = 99;
        SetLastError(0);
        EXPECT_FALSE(ReadFile(handle, buffer, sizeof buffer, &read, nullptr));
        EXPECT_EQ(read, 0u);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
    // INVALID_HANDLE_VALUE is left out: on Windows it is also the current process.
    for (const HANDLE handle : {HANDLE{nullptr}, closed}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    }
}

TEST_F(FileServices, FreeSpaceOfTheVolumeHoldingTheFolder) {
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    ASSERT_TRUE(GetDiskFreeSpaceExA(Path("Current\\Firmware\\").c_str(), &available, &total, &totalFree));
    const fs::space_info space = fs::space(root_);
    EXPECT_EQ(total.QuadPart, space.capacity);
    EXPECT_LE(available.QuadPart, totalFree.QuadPart);
    EXPECT_LE(totalFree.QuadPart, total.QuadPart);
    // Other programs write meanwhile: the free counts may move a little between queries.
    constexpr ULONGLONG kSlack = 256ull << 20;
    EXPECT_LT(available.QuadPart > space.available ? available.QuadPart - space.available
                                                   : space.available - available.QuadPart,
              kSlack);
    EXPECT_LT(totalFree.QuadPart > space.free ? totalFree.QuadPart - space.free : space.free - totalFree.QuadPart,
              kSlack);

    ULARGE_INTEGER onlyTotal{};
    EXPECT_TRUE(GetDiskFreeSpaceExA(Path("Current").c_str(), nullptr, &onlyTotal, nullptr));
    EXPECT_EQ(onlyTotal.QuadPart, total.QuadPart);
}

struct FreeSpaceFailure {
    const char* name;
    const char* relative;
    DWORD error;
};

void PrintTo(const FreeSpaceFailure& row, std::ostream* out) { *out << row.name; }

class FileServicesFreeSpaceFailure : public FileServices, public testing::WithParamInterface<FreeSpaceFailure> {};

TEST_P(FileServicesFreeSpaceFailure, FailsWithTheError) {
    const FreeSpaceFailure& row = GetParam();
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    EXPECT_FALSE(GetDiskFreeSpaceExA(Path(row.relative).c_str(), &available, &total, &totalFree));
    EXPECT_EQ(GetLastError(), row.error);
    DWORD counts[4] = {};
    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceA(Path(row.relative).c_str(), &counts[0], &counts[1], &counts[2], &counts[3]));
    EXPECT_EQ(GetLastError(), row.error) << "the sector-size query";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileServicesFreeSpaceFailure,
    testing::Values(FreeSpaceFailure{"FolderMissing", "Current\\Missing\\", ERROR_FILE_NOT_FOUND},
                    FreeSpaceFailure{"ParentMissingToo", "Missing\\Firmware\\", ERROR_PATH_NOT_FOUND},
                    FreeSpaceFailure{"NotAFolder", "plain.txt", ERROR_DIRECTORY}),
    RowName<FreeSpaceFailure>);

TEST_F(FileServices, DeleteRemovesTheFileOnly) {
    EXPECT_TRUE(DeleteFileA(Path("plain.txt").c_str()));
    EXPECT_FALSE(fs::exists(root_ / "plain.txt"));

    const struct {
        const char* relative;
        DWORD error;
    } failures[] = {{"plain.txt", ERROR_FILE_NOT_FOUND},
                    {"Missing\\plain.txt", ERROR_PATH_NOT_FOUND},
                    {"Current", ERROR_ACCESS_DENIED}};
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.relative);
        SetLastError(0);
        EXPECT_FALSE(DeleteFileA(Path(failure.relative).c_str()));
        EXPECT_EQ(GetLastError(), failure.error);
    }
    EXPECT_TRUE(fs::is_directory(root_ / "Current"));
}

// An unbuffered read-back as the package write makes it: whole sectors of the volume from
// a sector-aligned buffer; the read at the end comes back short.
TEST_F(FileServices, ReadsAWrittenFileBackWithoutBufferingInWholeSectors) {
    std::string payload(70000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(i % 251);
    }
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", payload);

    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    ASSERT_TRUE(GetDiskFreeSpaceA(Path("Current\\Firmware\\").c_str(), &sectorsPerCluster, &bytesPerSector,
                                  &freeClusters, &totalClusters));
    EXPECT_GE(sectorsPerCluster, 1u);
    ASSERT_GE(bytesPerSector, 512u);
    ASSERT_LE(bytesPerSector, 4096u);
    ASSERT_EQ(bytesPerSector & (bytesPerSector - 1), 0u) << bytesPerSector << " is no power of two";
    EXPECT_LE(freeClusters, totalClusters);

    constexpr DWORD kChunk = 64 * 1024;
    std::vector<char> block(kChunk + bytesPerSector);
    char* const chunk = block.data() + (bytesPerSector - reinterpret_cast<std::uintptr_t>(block.data()) % bytesPerSector);
    const HANDLE file = CreateFileA(Path("Current\\Firmware\\package.fw").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_NO_BUFFERING, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string readBack;
    for (const DWORD expected : {kChunk, DWORD{70000 - kChunk}}) {
        DWORD read = 0;
        ASSERT_TRUE(ReadFile(file, chunk, kChunk, &read, nullptr)) << GetLastError();
        EXPECT_EQ(read, expected);
        readBack.append(chunk, read);
    }
    EXPECT_EQ(readBack, payload);
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileServices, ReadFromAHandleOpenedForWritingIsRefused) {
    const HANDLE file = Create(Path("Current\\Firmware\\package.fw"));
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[4];
    DWORD read = 99;
    EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileServices, MoveReplacesTheTargetInOneStep) {
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", std::string(100, 'o'));
    WriteAll(root_ / "Current" / "Firmware" / "package.fw~", "new");
    EXPECT_TRUE(MoveFileExA(Path("Current\\Firmware\\package.fw~").c_str(), Path("Current\\Firmware\\package.fw").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadAll(root_ / "Current" / "Firmware" / "package.fw"), "new");
    EXPECT_FALSE(fs::exists(root_ / "Current" / "Firmware" / "package.fw~"));

    // A new name too.
    EXPECT_TRUE(MoveFileExA(Path("plain.txt").c_str(), Path("Current\\moved.txt").c_str(), MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadAll(root_ / "Current" / "moved.txt"), "plain");
}

// What the package write does once its file is verified: the file moved under its final
// name while the writer's handle still holds it, flushed through that handle, the volume
// asked by the handle whether it takes writes, the file looked at by its new name.
TEST_F(FileServices, MovedFileIsFlushedThroughItsHandleAndFoundUnderItsNewName) {
    const std::string staging = Path("Current\\Firmware\\package.fw~");
    const std::string package = Path("Current\\Firmware\\package.fw");
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", std::string(100, 'o'));
    const std::string payload(70000, '\x33');
    const HANDLE file = CreateFileA(staging.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr));
    ASSERT_TRUE(FlushFileBuffers(file));

    EXPECT_TRUE(MoveFileExA(staging.c_str(), package.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_TRUE(FlushFileBuffers(file)) << "the handle no longer reaches the moved file";
    DWORD flags = FILE_READ_ONLY_VOLUME;
    DWORD longest = 0;
    EXPECT_TRUE(GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, &longest, &flags, nullptr, 0));
    EXPECT_EQ(flags & FILE_READ_ONLY_VOLUME, 0u);
    EXPECT_GE(longest, 12u) << "a name of the package's length fits";
    EXPECT_TRUE(CloseHandle(file));

    WIN32_FILE_ATTRIBUTE_DATA found{};
    ASSERT_TRUE(GetFileAttributesExA(package.c_str(), GetFileExInfoStandard, &found));
    EXPECT_EQ(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u);
    EXPECT_EQ(found.nFileSizeHigh, 0u);
    EXPECT_EQ(found.nFileSizeLow, payload.size());
    EXPECT_EQ(ReadAll(root_ / "Current" / "Firmware" / "package.fw"), payload);
}

TEST_F(FileServices, AttributesTellAFolderFromAFileAndMissingNamesFromMissingFolders) {
    WIN32_FILE_ATTRIBUTE_DATA found{};
    ASSERT_TRUE(GetFileAttributesExA(Path("Current\\Firmware").c_str(), GetFileExInfoStandard, &found));
    EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    ASSERT_TRUE(GetFileAttributesExA(Path("plain.txt").c_str(), GetFileExInfoStandard, &found));
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(found.nFileSizeLow, 5u);

    const std::pair<const char*, DWORD> missing[] = {{"Current\\absent.fw", ERROR_FILE_NOT_FOUND},
                                                     {"Missing\\absent.fw", ERROR_PATH_NOT_FOUND}};
    for (const auto& [name, error] : missing) {
        SetLastError(0);
        EXPECT_FALSE(GetFileAttributesExA(Path(name).c_str(), GetFileExInfoStandard, &found)) << name;
        EXPECT_EQ(GetLastError(), error) << name;
    }
}

struct MoveFailure {
    const char* name;
    const char* from;
    const char* to;
    DWORD flags;
    DWORD error;
};

void PrintTo(const MoveFailure& row, std::ostream* out) { *out << row.name; }

class FileServicesMoveFailure : public FileServices, public testing::WithParamInterface<MoveFailure> {};

TEST_P(FileServicesMoveFailure, LeavesBothNamesAsTheyWere) {
    const MoveFailure& row = GetParam();
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", "old");
    const auto before = [this] {
        std::vector<std::string> entries;
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            entries.push_back(entry.path().string() + (entry.is_regular_file() ? "=" + ReadAll(entry.path()) : ""));
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    };
    const std::vector<std::string> entries = before();
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA(Path(row.from).c_str(), Path(row.to).c_str(), row.flags));
    EXPECT_EQ(GetLastError(), row.error);
    EXPECT_EQ(before(), entries);
}

constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

INSTANTIATE_TEST_SUITE_P(
    Cases, FileServicesMoveFailure,
    testing::Values(
        MoveFailure{"TargetExistsAndNotReplaced", "plain.txt", "Current\\Firmware\\package.fw", MOVEFILE_WRITE_THROUGH,
                    ERROR_ALREADY_EXISTS},
        MoveFailure{"SourceMissing", "Current\\Firmware\\absent.fw~", "Current\\Firmware\\package.fw", kReplace,
                    ERROR_FILE_NOT_FOUND},
        MoveFailure{"SourceFolderMissing", "Missing\\absent.fw~", "Current\\Firmware\\package.fw", kReplace,
                    ERROR_PATH_NOT_FOUND},
        MoveFailure{"TargetFolderMissing", "plain.txt", "Current\\Missing\\package.fw", kReplace, ERROR_PATH_NOT_FOUND},
        MoveFailure{"TargetIsAFolder", "plain.txt", "Current\\Firmware", kReplace, ERROR_ACCESS_DENIED}),
    RowName<MoveFailure>);

}  // namespace
