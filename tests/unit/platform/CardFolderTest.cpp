// The seam's file services within the card's bounds, as the package write uses them, on both
// systems: every layout of the table (support/CardFolders.h) is measured, written and moved
// over, and nothing off the card is touched; a path off the card is refused; and on Windows
// the folders a service relies on are held while it runs.
#include "platform/Platform.h"
#include "platform/SystemApi.h"

#include "support/CardFolders.h"
#include "support/FileContent.h"
#include "support/RowName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

HANDLE CreateStaging(const std::string& path) {
    return platform::sys.CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

class CardLayouts : public testing::TestWithParam<CardCase> {
protected:
    CardRoot root_;
};

TEST_P(CardLayouts, FileServicesStayOnTheCard) {
    const CardCase& row = GetParam();
    const MadeLayout made = row.make(root_.Path());
    if (!made.skipped.empty()) {
        GTEST_SKIP() << made.skipped;
    }
#if defined(_WIN32)
    // Where Wine makes none, the folder's handle reports the reparse point (CardFolders.h).
    std::optional<ReparsePointFake> reparsePoint;
    if (!made.reparsePoint.empty()) {
        reparsePoint.emplace(root_.Path() / made.reparsePoint);
    }
#endif
    const std::string drive = root_.Drive(made.drive);
    const DeclaredCardBounds bounds(drive);
    const std::string folder = drive + "Current\\Firmware\\";
    const std::string package = folder + "R5610200.fw";
    const std::string staging = package + "~";

    ULARGE_INTEGER available{};
    SetLastError(ERROR_SUCCESS);
    const bool measured = platform::sys.GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) != 0;
    const DWORD probeError = GetLastError();
    DWORD counts[4] = {};
    const bool sized =
        platform::sys.GetDiskFreeSpaceA(folder.c_str(), &counts[0], &counts[1], &counts[2], &counts[3]) != 0;
    const HANDLE file = CreateStaging(staging);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        EXPECT_TRUE(platform::sys.WriteFile(file, "new", 3, &written, nullptr));
        EXPECT_TRUE(platform::sys.CloseHandle(file));
    }
    const bool moved = platform::sys.MoveFileExA(staging.c_str(), package.c_str(), kReplace) != 0;
    WIN32_FILE_ATTRIBUTE_DATA found{};
    const bool looked = platform::sys.GetFileAttributesExA(package.c_str(), GetFileExInfoStandard, &found) != 0;

    EXPECT_EQ(measured, row.onCard);
    EXPECT_EQ(sized, row.onCard);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, row.onCard);
    EXPECT_EQ(moved, row.onCard);
    EXPECT_EQ(looked, row.onCard);
    if (row.onCard) {
        EXPECT_EQ(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT), 0u);
        EXPECT_EQ(found.nFileSizeLow, 3u);
        const fs::path onCard = root_.Path() / "card" / "Current" / "Firmware" / "R5610200.fw";
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(onCard)));
        EXPECT_EQ(FileContent(onCard), "new");
    } else {
        EXPECT_EQ(probeError, row.probeError);
    }
    EXPECT_TRUE(fs::is_empty(root_.Path() / "outside" / "Firmware"));
    EXPECT_EQ(FileContent(root_.Path() / "outside.fw"), "not the card's");
}

INSTANTIATE_TEST_SUITE_P(Table, CardLayouts, testing::ValuesIn(kCardCases), RowName<CardCase>);

// While the bounds are declared the services serve the card only: a path beside it (one
// that merely begins like it too), or one that leaves it by "..", fails as a path not found,
// and nothing is made there.
TEST(CardBounds, PathsOffTheCardAreRefused) {
    const CardRoot root;
    const DeclaredCardBounds bounds(root.Drive("card"));
    const std::string beside = root.Drive("card") + "..\\outside\\Firmware\\R5610200.fw";
    const std::string sameStart = root.Path().string() + "/card-and-more.fw";
    const std::string inside = root.Drive("card") + "Current\\Firmware\\R5610200.fw";
    for (const std::string& path : {root.Drive("outside") + "Firmware\\R5610200.fw", beside, sameStart}) {
        SCOPED_TRACE(path);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(CreateStaging(path), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(platform::sys.MoveFileExA(inside.c_str(), path.c_str(), kReplace));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
        WIN32_FILE_ATTRIBUTE_DATA found{};
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(platform::sys.GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &found));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    }
    EXPECT_TRUE(fs::is_empty(root.Path() / "outside" / "Firmware"));
    EXPECT_FALSE(fs::exists(sameStart));
}

#if defined(_WIN32)
// Tries to move Current away each time the file services ask what a handle is, which they
// do with the folders they rely on open.
std::vector<DWORD> g_moveErrors;
fs::path g_current;

BOOL DescribeWhileMovingCurrent(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
    const fs::path away = g_current.parent_path() / "Away";
    if (MoveFileExA(g_current.string().c_str(), away.string().c_str(), 0)) {
        g_moveErrors.push_back(ERROR_SUCCESS);
        MoveFileExA(away.string().c_str(), g_current.string().c_str(), 0);
    } else {
        g_moveErrors.push_back(GetLastError());
    }
    return platform::kSystemDefaults.GetFileInformationByHandle(file, information);
}
#endif

TEST(CardBounds, FoldersAreHeldWhileAServiceReliesOnThem) {
#if defined(_WIN32)
    const CardRoot root;
    const DeclaredCardBounds bounds(root.Drive("card"));
    g_current = root.Path() / "card" / "Current";
    g_moveErrors.clear();
    const ScopedOverride<decltype(platform::SystemApi::GetFileInformationByHandle)> moving{
        &platform::SystemApi::GetFileInformationByHandle, DescribeWhileMovingCurrent};
    const HANDLE file = CreateStaging(root.Drive("card") + "Current\\Firmware\\R5610200.fw~");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(platform::sys.CloseHandle(file));
    // Current, Firmware and the file created are asked about, each with Current held.
    EXPECT_EQ(g_moveErrors, std::vector<DWORD>(3, ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(fs::is_regular_file(g_current / "Firmware" / "R5610200.fw~"));
#else
    GTEST_SKIP() << "POSIX opens each folder relative to the one above and acts relative to the last one's "
                    "descriptor: a folder moved away afterwards is not what the service reaches, and nothing is held";
#endif
}

}  // namespace
