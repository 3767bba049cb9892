// The seam's card, opened once, and its file services, as the package write uses them, on
// both systems: every layout of the table (support/CardFolders.h) is measured, written and
// moved over, and nothing off the card is touched; a path below the drive folder that would
// leave it is refused; a card whose drive folder cannot be opened fails every service; two
// cards stand side by side; and on Windows the folders a service relies on are held while it
// runs.
#include "platform/CardFolder.h"
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

const char* const kFolder = "Current\\Firmware\\";
const char* const kPackage = "Current\\Firmware\\R5610200.fw";
const char* const kStaging = "Current\\Firmware\\R5610200.fw~";

platform::CardFolder OpenCard(const std::string& drive) {
    return platform::CardFolder(platform::sys.OpenCardFolder(drive.c_str()));
}

HANDLE CreateStaging(const platform::CardFolder& card, const char* path) {
    return platform::sys.CardCreateFileA(card.Get(), path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
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
    const platform::CardFolder card = OpenCard(root_.Drive(made.drive));
    ASSERT_FALSE(card.IsEmpty()) << "the drive folder is opened as named, whatever it is";

    ULARGE_INTEGER available{};
    SetLastError(ERROR_SUCCESS);
    const bool measured =
        platform::sys.CardGetDiskFreeSpaceExA(card.Get(), kFolder, &available, nullptr, nullptr) != 0;
    const DWORD probeError = GetLastError();
    DWORD counts[4] = {};
    const bool sized =
        platform::sys.CardGetDiskFreeSpaceA(card.Get(), kFolder, &counts[0], &counts[1], &counts[2], &counts[3]) != 0;
    const HANDLE file = CreateStaging(card, kStaging);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        EXPECT_TRUE(platform::sys.WriteFile(file, "new", 3, &written, nullptr));
        EXPECT_TRUE(platform::sys.CloseHandle(file));
    }
    const bool moved = platform::sys.CardMoveFileExA(card.Get(), kStaging, kPackage, kReplace) != 0;
    WIN32_FILE_ATTRIBUTE_DATA found{};
    const bool looked =
        platform::sys.CardGetFileAttributesExA(card.Get(), kPackage, GetFileExInfoStandard, &found) != 0;

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

// A path below the drive folder that would leave it, by ".." or from a root, fails as a path
// not found, and nothing is made where it points.
TEST(CardFolder, PathsLeavingTheCardAreRefused) {
    const CardRoot root;
    const platform::CardFolder card = OpenCard(root.Drive("card"));
    for (const char* path : {"..\\outside\\Firmware\\R5610200.fw", "Current\\..\\..\\outside\\Firmware\\R5610200.fw",
                             "\\outside\\Firmware\\R5610200.fw", "/outside/Firmware/R5610200.fw"}) {
        SCOPED_TRACE(path);
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(CreateStaging(card, path), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(platform::sys.CardMoveFileExA(card.Get(), kPackage, path, kReplace));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
        WIN32_FILE_ATTRIBUTE_DATA found{};
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(platform::sys.CardGetFileAttributesExA(card.Get(), path, GetFileExInfoStandard, &found));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    }
    EXPECT_TRUE(fs::is_empty(root.Path() / "outside" / "Firmware"));
}

// A drive folder that is missing or no folder opens no card, and an empty card fails every
// service as an invalid handle, so that the probe on it finds no card.
TEST(CardFolder, CardWhoseDriveFolderCannotBeOpenedFailsEveryService) {
    const CardRoot root;
    for (const std::string& drive : {root.Drive("missing"), root.Path().string() + "/outside.fw"}) {
        SCOPED_TRACE(drive);
        SetLastError(ERROR_SUCCESS);
        const platform::CardFolder card = OpenCard(drive);
        EXPECT_TRUE(card.IsEmpty());
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    }
    const platform::CardFolder none;
    ULARGE_INTEGER available{};
    DWORD counts[4] = {};
    WIN32_FILE_ATTRIBUTE_DATA found{};
    const struct {
        const char* name;
        bool failed;
    } services[] = {
        {"free space", !platform::sys.CardGetDiskFreeSpaceExA(none.Get(), kFolder, &available, nullptr, nullptr)},
        {"sectors", !platform::sys.CardGetDiskFreeSpaceA(none.Get(), kFolder, &counts[0], &counts[1], &counts[2],
                                                         &counts[3])},
        {"create", CreateStaging(none, kStaging) == INVALID_HANDLE_VALUE},
        {"delete", !platform::sys.CardDeleteFileA(none.Get(), kStaging)},
        {"move", !platform::sys.CardMoveFileExA(none.Get(), kStaging, kPackage, kReplace)},
        {"attributes", !platform::sys.CardGetFileAttributesExA(none.Get(), kPackage, GetFileExInfoStandard, &found)},
    };
    for (const auto& service : services) {
        EXPECT_TRUE(service.failed) << service.name;
    }
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(platform::sys.CardGetDiskFreeSpaceExA(none.Get(), kFolder, &available, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
}

// Nothing is in force between two cards: each serves its own drive folder, also while the
// other is open.
TEST(CardFolder, TwoCardsOpenAtOnceEachServeTheirOwn) {
    const CardRoot first;
    const CardRoot second;
    const platform::CardFolder one = OpenCard(first.Drive("card"));
    const platform::CardFolder other = OpenCard(second.Drive("card"));
    for (const platform::CardFolder* card : {&one, &other}) {
        const HANDLE file = CreateStaging(*card, kStaging);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(platform::sys.WriteFile(file, card == &one ? "one" : "two", 3, &written, nullptr));
        EXPECT_TRUE(platform::sys.CloseHandle(file));
    }
    EXPECT_EQ(FileContent(first.Path() / "card" / "Current" / "Firmware" / "R5610200.fw~"), "one");
    EXPECT_EQ(FileContent(second.Path() / "card" / "Current" / "Firmware" / "R5610200.fw~"), "two");
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

TEST(CardFolder, FoldersAreHeldWhileAServiceReliesOnThem) {
#if defined(_WIN32)
    const CardRoot root;
    const platform::CardFolder card = OpenCard(root.Drive("card"));
    g_current = root.Path() / "card" / "Current";
    g_moveErrors.clear();
    const ScopedOverride<decltype(platform::SystemApi::GetFileInformationByHandle)> moving{
        &platform::SystemApi::GetFileInformationByHandle, DescribeWhileMovingCurrent};
    const HANDLE file = CreateStaging(card, kStaging);
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
