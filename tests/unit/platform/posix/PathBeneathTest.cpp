// The folders below a card's drive folder are never reached through a link, another file
// system or "..": the walk fails, with either way of walking, and the file services built
// on it neither measure nor write anything off the card.  The drive folder itself may be a
// link: where the system mounts the card is its own business.
#include "platform/Platform.h"

#include "platform/posix/PathBeneath.h"
#include "support/RowName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::posix::PathBeneath;

enum class Expect { kCard, kRefused, kNeedsRoot };

struct CardRow {
    const char* name;
    // Changes the card at `root` ("card/Current/Firmware" and "outside/Firmware" exist);
    // kNeedsRoot when that takes a mount and this process may not.
    Expect (*change)(const fs::path& root);
    // The drive folder as the component would report it, below `root`, and what follows it.
    const char* drive;
    Expect expect;
};

void PrintTo(const CardRow& row, std::ostream* out) { *out << row.name; }

class CardFolders : public testing::TestWithParam<CardRow> {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("fw-beneath-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "card" / "Current" / "Firmware");
        fs::create_directories(root_ / "outside" / "Firmware");
        if (GetParam().change(root_) == Expect::kNeedsRoot) {
            GTEST_SKIP() << "mounting a file system on the card's folder needs root";
        }
        drive_ = (root_ / GetParam().drive).string() + "/";
    }
    void TearDown() override {
        umount2((root_ / "card" / "Current" / "Firmware").c_str(), MNT_DETACH);
        fs::remove_all(root_);
    }

    // The folder the walk opened is the card's package folder.
    bool IsPackageFolder(int folder) const {
        struct stat opened {};
        struct stat wanted {};
        return fstat(folder, &opened) == 0 && stat((root_ / "card" / "Current" / "Firmware").c_str(), &wanted) == 0 &&
               opened.st_dev == wanted.st_dev && opened.st_ino == wanted.st_ino;
    }

    fs::path root_;
    std::string drive_;
};

TEST_P(CardFolders, AreWalkedWithoutLeavingTheCard) {
    const std::string package = drive_ + "Current\\Firmware\\R5610200.fw";
    for (const PathBeneath::Walk walk : {PathBeneath::Walk::kBest, PathBeneath::Walk::kOneAtATime}) {
        SCOPED_TRACE(walk == PathBeneath::Walk::kBest ? "best walk" : "one folder at a time");
        SetLastError(0);
        const PathBeneath path(package.c_str(), walk);
        if (GetParam().expect == Expect::kCard) {
            ASSERT_GE(path.Folder(), 0);
            EXPECT_TRUE(IsPackageFolder(path.Folder()));
            EXPECT_STREQ(path.Name(), "R5610200.fw");
            EXPECT_TRUE(path.Beneath());
        } else {
            EXPECT_EQ(path.Folder(), -1);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
        }
    }
}

// What the upgrade does with the folder: measure it, write the staging file, move it over
// the package.  Off the card, each fails and nothing appears anywhere.
TEST_P(CardFolders, FileServicesStayOnTheCard) {
    const std::string folder = drive_ + "Current\\Firmware\\";
    const std::string staging = folder + "R5610200.fw~";
    ULARGE_INTEGER available{};
    const bool measured = GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) != 0;
    const HANDLE file = CreateFileA(staging.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, "new", 3, &written, nullptr));
        EXPECT_TRUE(CloseHandle(file));
    }
    const bool moved = MoveFileExA(staging.c_str(), (folder + "R5610200.fw").c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    const bool onCard = GetParam().expect == Expect::kCard;
    EXPECT_EQ(measured, onCard);
    EXPECT_EQ(file != INVALID_HANDLE_VALUE, onCard);
    EXPECT_EQ(moved, onCard);
    EXPECT_TRUE(fs::is_empty(root_ / "outside" / "Firmware"));
    EXPECT_FALSE(fs::exists(root_ / "outside" / "R5610200.fw~"));
}

Expect AsMade(const fs::path&) { return Expect::kCard; }

Expect LinkCurrent(const fs::path& root) {
    fs::remove_all(root / "card" / "Current");
    fs::create_directory_symlink(root / "outside", root / "card" / "Current");
    return Expect::kRefused;
}

Expect LinkFirmware(const fs::path& root) {
    fs::remove_all(root / "card" / "Current" / "Firmware");
    fs::create_directory_symlink(root / "outside" / "Firmware", root / "card" / "Current" / "Firmware");
    return Expect::kRefused;
}

// A relative link that stays on the card is still a link.
Expect LinkFirmwareWithinTheCard(const fs::path& root) {
    fs::rename(root / "card" / "Current" / "Firmware", root / "card" / "Elsewhere");
    fs::create_directory_symlink("../Elsewhere", root / "card" / "Current" / "Firmware");
    return Expect::kRefused;
}

Expect LinkDriveFolder(const fs::path& root) {
    fs::create_directory_symlink(root / "card", root / "card-link");
    return Expect::kCard;
}

Expect MountOnFirmware(const fs::path& root) {
    return mount("ramfs", (root / "card" / "Current" / "Firmware").c_str(), "ramfs", 0, nullptr) == 0
               ? Expect::kRefused
               : Expect::kNeedsRoot;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, CardFolders,
    testing::Values(CardRow{"asMade", AsMade, "card", Expect::kCard},
                    CardRow{"driveFolderIsALink", LinkDriveFolder, "card-link", Expect::kCard},
                    CardRow{"currentIsALinkOffTheCard", LinkCurrent, "card", Expect::kRefused},
                    CardRow{"firmwareIsALinkOffTheCard", LinkFirmware, "card", Expect::kRefused},
                    CardRow{"firmwareIsALinkOnTheCard", LinkFirmwareWithinTheCard, "card", Expect::kRefused},
                    CardRow{"firmwareIsAnotherFileSystem", MountOnFirmware, "card", Expect::kRefused}),
    RowName<CardRow>);

// Dots are never resolved below the drive folder, even where they would come back to it.
TEST(PathBeneath, DotsBelowTheDriveFolderAreRefused) {
    const fs::path root = fs::temp_directory_path() / ("fw-dots-" + std::to_string(getpid()));
    fs::create_directories(root / "card" / "Current" / "Firmware");
    for (const char* below : {"Current\\..\\Current\\Firmware\\x", "Current\\.\\Firmware\\x", "Current\\Firmware\\.."}) {
        SCOPED_TRACE(below);
        SetLastError(0);
        const PathBeneath path(((root / "card").string() + "/" + below).c_str());
        EXPECT_EQ(path.Folder(), -1);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    }
    fs::remove_all(root);
}

}  // namespace
