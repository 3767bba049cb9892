// The file services of the package write, with paths spelled as the core spells them
// (backslash separators below the drive folder); the errors are those Windows reports.  Each
// test of a path runs two ways: through the system's own calls by the whole path (under
// Wine, Windows itself; natively the POSIX substitute's ordinary paths), and through the
// seam's card opened on the drive folder with the path below it, as the core calls them (the
// POSIX walk below the drive folder; Windows' held folders).  Under Wine the first checks the
// Windows behaviour that the others reproduce.
#include "platform/Platform.h"

#include "platform/CardFolder.h"
#include "platform/SystemApi.h"
#include "support/RowName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <ostream>
#include <string>
#include <tuple>
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

// How a test reaches the file services.
enum class Through { kSystem, kSeam };

void PrintTo(Through through, std::ostream* out) { *out << (through == Through::kSeam ? "seam" : "system"); }

// A fresh folder holding "Current\Firmware\" and a plain file "plain.txt", reached as a
// card's drive folder.
class FileServices : public testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("fw-files-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_ / "Current" / "Firmware");
        WriteAll(root_ / "plain.txt", "plain");
        drive_ = root_.string() + static_cast<char>(fs::path::preferred_separator);
    }
    void TearDown() override {
        card_.Reset();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // Through the seam, the folder is the drive folder of a card opened on it.
    void Use(Through through) {
        through_ = through;
        if (through == Through::kSeam) {
            card_.Reset(platform::sys.OpenCardFolder(drive_.c_str()));
            ASSERT_FALSE(card_.IsEmpty());
        }
    }

    // `relative` uses backslashes, as the core writes paths: below the card's drive folder
    // through the seam, the whole path through the system.
    std::string Path(const char* relative) const { return through_ == Through::kSeam ? relative : drive_ + relative; }

    HANDLE Create(const std::string& path, DWORD disposition = CREATE_ALWAYS, DWORD access = GENERIC_WRITE,
                  DWORD share = FILE_SHARE_READ, DWORD flags = FILE_ATTRIBUTE_NORMAL) const {
        return through_ == Through::kSeam
                   ? platform::sys.CardCreateFileA(card_.Get(), path.c_str(), access, share, nullptr, disposition,
                                                   flags, nullptr)
                   : CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
    }
    BOOL Delete(const std::string& path) const {
        return through_ == Through::kSeam ? platform::sys.CardDeleteFileA(card_.Get(), path.c_str())
                                          : DeleteFileA(path.c_str());
    }
    BOOL Move(const std::string& from, const std::string& to, DWORD flags) const {
        return through_ == Through::kSeam ? platform::sys.CardMoveFileExA(card_.Get(), from.c_str(), to.c_str(), flags)
                                          : MoveFileExA(from.c_str(), to.c_str(), flags);
    }
    BOOL Attributes(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA* found) const {
        return through_ == Through::kSeam
                   ? platform::sys.CardGetFileAttributesExA(card_.Get(), path.c_str(), GetFileExInfoStandard, found)
                   : GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, found);
    }
    BOOL FreeSpace(const std::string& path, PULARGE_INTEGER available, PULARGE_INTEGER total,
                   PULARGE_INTEGER totalFree) const {
        return through_ == Through::kSeam
                   ? platform::sys.CardGetDiskFreeSpaceExA(card_.Get(), path.c_str(), available, total, totalFree)
                   : GetDiskFreeSpaceExA(path.c_str(), available, total, totalFree);
    }
    BOOL Sectors(const std::string& path, DWORD (&counts)[4]) const {
        return through_ == Through::kSeam
                   ? platform::sys.CardGetDiskFreeSpaceA(card_.Get(), path.c_str(), &counts[0], &counts[1], &counts[2],
                                                         &counts[3])
                   : GetDiskFreeSpaceA(path.c_str(), &counts[0], &counts[1], &counts[2], &counts[3]);
    }

    fs::path root_;
    std::string drive_;
    Through through_ = Through::kSystem;
    platform::CardFolder card_;
};

// The tests of a path, once each way.
class FileServicesAt : public FileServices, public testing::WithParamInterface<Through> {
protected:
    void SetUp() override {
        FileServices::SetUp();
        Use(GetParam());
    }
};

const auto kBothWays = testing::Values(Through::kSystem, Through::kSeam);

std::string WayName(const testing::TestParamInfo<Through>& way) {
    return way.param == Through::kSeam ? "seam" : "system";
}

// A table's rows, each way.
template <typename Row>
class FileServicesRow : public FileServices, public testing::WithParamInterface<std::tuple<Row, Through>> {
protected:
    void SetUp() override {
        FileServices::SetUp();
        Use(std::get<1>(this->GetParam()));
    }
    const Row& TheRow() const { return std::get<0>(this->GetParam()); }
};

template <typename Row>
std::string RowWayName(const testing::TestParamInfo<std::tuple<Row, Through>>& row) {
    return std::string(std::get<0>(row.param).name) + (std::get<1>(row.param) == Through::kSeam ? "_seam" : "_system");
}

TEST_P(FileServicesAt, WritesFlushesAndClosesANewFile) {
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

TEST_P(FileServicesAt, CreateAlwaysReplacesAnExistingFile) {
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

using FileServicesCreateFailure = FileServicesRow<CreateFailure>;

TEST_P(FileServicesCreateFailure, GivesInvalidHandleAndTheError) {
    const CreateFailure& row = TheRow();
    const HANDLE file = Create(Path(row.relative), row.disposition, row.access);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), row.error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileServicesCreateFailure,
    testing::Combine(testing::Values(
        CreateFailure{"FolderMissing", "Current\\Missing\\package.fw", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        CreateFailure{"FolderIsAFile", "plain.txt\\package.fw", GENERIC_WRITE, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
        CreateFailure{"NameIsAFolder", "Current\\Firmware", GENERIC_WRITE, CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        CreateFailure{"FolderOpenedForReading", "Current", GENERIC_READ, OPEN_EXISTING, ERROR_ACCESS_DENIED},
        CreateFailure{"NewButExists", "plain.txt", GENERIC_WRITE, CREATE_NEW, ERROR_FILE_EXISTS},
        CreateFailure{"ExistingButMissing", "absent.txt", GENERIC_WRITE, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        CreateFailure{"ExistingInMissingFolder", "Missing\\absent.txt", GENERIC_WRITE, OPEN_EXISTING,
                      ERROR_PATH_NOT_FOUND}), kBothWays),
    RowWayName<CreateFailure>);

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

TEST_P(FileServicesAt, FreeSpaceOfTheVolumeHoldingTheFolder) {
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    ASSERT_TRUE(FreeSpace(Path("Current\\Firmware\\"), &available, &total, &totalFree));
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
    EXPECT_TRUE(FreeSpace(Path("Current"), nullptr, &onlyTotal, nullptr));
    EXPECT_EQ(onlyTotal.QuadPart, total.QuadPart);
}

struct FreeSpaceFailure {
    const char* name;
    const char* relative;
    DWORD error;
};

void PrintTo(const FreeSpaceFailure& row, std::ostream* out) { *out << row.name; }

using FileServicesFreeSpaceFailure = FileServicesRow<FreeSpaceFailure>;

TEST_P(FileServicesFreeSpaceFailure, FailsWithTheError) {
    const FreeSpaceFailure& row = TheRow();
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    EXPECT_FALSE(FreeSpace(Path(row.relative), &available, &total, &totalFree));
    EXPECT_EQ(GetLastError(), row.error);
    DWORD counts[4] = {};
    SetLastError(0);
    EXPECT_FALSE(Sectors(Path(row.relative), counts));
    EXPECT_EQ(GetLastError(), row.error) << "the sector-size query";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileServicesFreeSpaceFailure,
    testing::Combine(testing::Values(FreeSpaceFailure{"FolderMissing", "Current\\Missing\\", ERROR_FILE_NOT_FOUND},
                    FreeSpaceFailure{"ParentMissingToo", "Missing\\Firmware\\", ERROR_PATH_NOT_FOUND},
                    FreeSpaceFailure{"NotAFolder", "plain.txt", ERROR_DIRECTORY}), kBothWays),
    RowWayName<FreeSpaceFailure>);

TEST_P(FileServicesAt, DeleteRemovesTheFileOnly) {
    EXPECT_TRUE(Delete(Path("plain.txt")));
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
        EXPECT_FALSE(Delete(Path(failure.relative)));
        EXPECT_EQ(GetLastError(), failure.error);
    }
    EXPECT_TRUE(fs::is_directory(root_ / "Current"));
}

// An unbuffered read-back as the package write makes it: whole sectors of the volume from
// a sector-aligned buffer; the read at the end comes back short.
TEST_P(FileServicesAt, ReadsAWrittenFileBackWithoutBufferingInWholeSectors) {
    std::string payload(70000, '\0');
    for (std::size_t i = 0; i < payload.size(); ++i) {
        payload[i] = static_cast<char>(i % 251);
    }
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", payload);

    DWORD counts[4] = {};
    ASSERT_TRUE(Sectors(Path("Current\\Firmware\\"), counts));
    const DWORD sectorsPerCluster = counts[0];
    const DWORD bytesPerSector = counts[1];
    const DWORD freeClusters = counts[2];
    const DWORD totalClusters = counts[3];
    EXPECT_GE(sectorsPerCluster, 1u);
    ASSERT_GE(bytesPerSector, 512u);
    ASSERT_LE(bytesPerSector, 4096u);
    ASSERT_EQ(bytesPerSector & (bytesPerSector - 1), 0u) << bytesPerSector << " is no power of two";
    EXPECT_LE(freeClusters, totalClusters);

    constexpr DWORD kChunk = 64 * 1024;
    std::vector<char> block(kChunk + bytesPerSector);
    char* const chunk = block.data() + (bytesPerSector - reinterpret_cast<std::uintptr_t>(block.data()) % bytesPerSector);
    const HANDLE file =
        Create(Path("Current\\Firmware\\package.fw"), OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ, FILE_FLAG_NO_BUFFERING);
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

TEST_P(FileServicesAt, MoveReplacesTheTargetInOneStep) {
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", std::string(100, 'o'));
    WriteAll(root_ / "Current" / "Firmware" / "package.fw~", "new");
    EXPECT_TRUE(Move(Path("Current\\Firmware\\package.fw~"), Path("Current\\Firmware\\package.fw"),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadAll(root_ / "Current" / "Firmware" / "package.fw"), "new");
    EXPECT_FALSE(fs::exists(root_ / "Current" / "Firmware" / "package.fw~"));

    // A new name too.
    EXPECT_TRUE(Move(Path("plain.txt"), Path("Current\\moved.txt"), MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadAll(root_ / "Current" / "moved.txt"), "plain");
}

// What the package write does once its file is verified: the file moved under its final
// name while the writer's handle still holds it, flushed through that handle, the volume
// asked by the handle whether it takes writes, the file looked at by its new name.
TEST_P(FileServicesAt, MovedFileIsFlushedThroughItsHandleAndFoundUnderItsNewName) {
    const std::string staging = Path("Current\\Firmware\\package.fw~");
    const std::string package = Path("Current\\Firmware\\package.fw");
    WriteAll(root_ / "Current" / "Firmware" / "package.fw", std::string(100, 'o'));
    const std::string payload(70000, '\x33');
    const HANDLE file = Create(staging, CREATE_ALWAYS, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, payload.data(), static_cast<DWORD>(payload.size()), &written, nullptr));
    ASSERT_TRUE(FlushFileBuffers(file));

    EXPECT_TRUE(Move(staging, package, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_TRUE(FlushFileBuffers(file)) << "the handle no longer reaches the moved file";
    DWORD flags = FILE_READ_ONLY_VOLUME;
    DWORD longest = 0;
    EXPECT_TRUE(GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, &longest, &flags, nullptr, 0));
    EXPECT_EQ(flags & FILE_READ_ONLY_VOLUME, 0u);
    EXPECT_GE(longest, 12u) << "a name of the package's length fits";
    EXPECT_TRUE(CloseHandle(file));

    WIN32_FILE_ATTRIBUTE_DATA found{};
    ASSERT_TRUE(Attributes(package, &found));
    EXPECT_EQ(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u);
    EXPECT_EQ(found.nFileSizeHigh, 0u);
    EXPECT_EQ(found.nFileSizeLow, payload.size());
    EXPECT_EQ(ReadAll(root_ / "Current" / "Firmware" / "package.fw"), payload);
}

TEST_P(FileServicesAt, AttributesTellAFolderFromAFileAndMissingNamesFromMissingFolders) {
    WIN32_FILE_ATTRIBUTE_DATA found{};
    ASSERT_TRUE(Attributes(Path("Current\\Firmware"), &found));
    EXPECT_NE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    ASSERT_TRUE(Attributes(Path("plain.txt"), &found));
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(found.nFileSizeLow, 5u);

    const std::pair<const char*, DWORD> missing[] = {{"Current\\absent.fw", ERROR_FILE_NOT_FOUND},
                                                     {"Missing\\absent.fw", ERROR_PATH_NOT_FOUND}};
    for (const auto& [name, error] : missing) {
        SetLastError(0);
        EXPECT_FALSE(Attributes(Path(name), &found)) << name;
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

using FileServicesMoveFailure = FileServicesRow<MoveFailure>;

TEST_P(FileServicesMoveFailure, LeavesBothNamesAsTheyWere) {
    const MoveFailure& row = TheRow();
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
    EXPECT_FALSE(Move(Path(row.from), Path(row.to), row.flags));
    EXPECT_EQ(GetLastError(), row.error);
    EXPECT_EQ(before(), entries);
}

constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

INSTANTIATE_TEST_SUITE_P(
    Cases, FileServicesMoveFailure,
    testing::Combine(testing::Values(
        MoveFailure{"TargetExistsAndNotReplaced", "plain.txt", "Current\\Firmware\\package.fw", MOVEFILE_WRITE_THROUGH,
                    ERROR_ALREADY_EXISTS},
        MoveFailure{"SourceMissing", "Current\\Firmware\\absent.fw~", "Current\\Firmware\\package.fw", kReplace,
                    ERROR_FILE_NOT_FOUND},
        MoveFailure{"SourceFolderMissing", "Missing\\absent.fw~", "Current\\Firmware\\package.fw", kReplace,
                    ERROR_PATH_NOT_FOUND},
        MoveFailure{"TargetFolderMissing", "plain.txt", "Current\\Missing\\package.fw", kReplace, ERROR_PATH_NOT_FOUND},
        MoveFailure{"TargetIsAFolder", "plain.txt", "Current\\Firmware", kReplace, ERROR_ACCESS_DENIED}), kBothWays),
    RowWayName<MoveFailure>);

// What a handle's file is, as Windows' file services ask it of each folder below a card's
// drive folder: two handles of one file tell one identity, another file another; the size,
// and neither a folder nor a reparse point.
TEST_F(FileServices, InformationByHandleTellsTheFilesIdentity) {
    const HANDLE first = Create(Path("plain.txt"), OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const HANDLE second = Create(Path("plain.txt"), OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    const HANDLE other = Create(Path("other.txt"));
    BY_HANDLE_FILE_INFORMATION told[3] = {};
    const HANDLE handles[3] = {first, second, other};
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(handles[i], INVALID_HANDLE_VALUE);
        EXPECT_TRUE(platform::sys.GetFileInformationByHandle(handles[i], &told[i])) << GetLastError();
        EXPECT_TRUE(CloseHandle(handles[i]));
    }
    const auto identity = [](const BY_HANDLE_FILE_INFORMATION& file) {
        return std::make_tuple(file.dwVolumeSerialNumber, file.nFileIndexHigh, file.nFileIndexLow);
    };
    EXPECT_EQ(identity(told[0]), identity(told[1]));
    EXPECT_NE(identity(told[0]), identity(told[2]));
    EXPECT_EQ(told[0].nFileSizeLow, 5u);
    EXPECT_EQ(told[2].nFileSizeLow, 0u);
    EXPECT_EQ(told[0].dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ways, FileServicesAt, kBothWays, WayName);

}  // namespace
