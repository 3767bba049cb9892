// The folders below a card's drive folder are never reached through a link, another file
// system or "..": with either way of walking, every layout of the card table
// (support/CardFolders.h) that leads off the card fails the walk, and one that keeps to it
// opens the card's package folder.  A path given without a card is an ordinary one.
#include "platform/Platform.h"

#include "platform/posix/Descriptor.h"
#include "platform/posix/PathBeneath.h"
#include "support/CardFolders.h"
#include "support/RowName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using platform::posix::Descriptor;
using platform::posix::OpenFolderAsNamed;
using platform::posix::PathBeneath;

const char* const kPackage = "Current\\Firmware\\R5610200.fw";

// The folder the walk opened is `wanted`.
bool IsFolder(int folder, const fs::path& wanted) {
    struct stat opened {};
    struct stat named {};
    return fstat(folder, &opened) == 0 && stat(wanted.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

class CardWalk : public testing::TestWithParam<CardCase> {
protected:
    CardRoot root_;
};

TEST_P(CardWalk, NeverLeavesTheCard) {
    const CardCase& row = GetParam();
    const MadeLayout made = row.make(root_.Path());
    if (!made.skipped.empty()) {
        GTEST_SKIP() << made.skipped;
    }
    const Descriptor drive = OpenFolderAsNamed(root_.Drive(made.drive).c_str());
    ASSERT_FALSE(drive.IsEmpty());
    for (const PathBeneath::Walk walk : {PathBeneath::Walk::kBest, PathBeneath::Walk::kOneAtATime}) {
        SCOPED_TRACE(walk == PathBeneath::Walk::kBest ? "best walk" : "one folder at a time");
        SetLastError(0);
        const PathBeneath path(drive.Get(), kPackage, walk);
        if (row.onCard) {
            ASSERT_GE(path.Folder(), 0);
            EXPECT_TRUE(IsFolder(path.Folder(), root_.Path() / "card" / "Current" / "Firmware"));
            EXPECT_STREQ(path.Name(), "R5610200.fw");
            EXPECT_TRUE(path.Beneath());
        } else {
            EXPECT_EQ(path.Folder(), -1);
            EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CardWalk, testing::ValuesIn(kCardCases), RowName<CardCase>);

// Dots are never resolved below the drive folder, even where they would come back to it.
TEST(PathBeneath, DotsBelowTheDriveFolderAreRefused) {
    const CardRoot root;
    const Descriptor drive = OpenFolderAsNamed(root.Drive("card").c_str());
    for (const char* below : {"Current\\..\\Current\\Firmware\\x", "Current\\.\\Firmware\\x", "Current\\Firmware\\.."}) {
        SCOPED_TRACE(below);
        SetLastError(0);
        const PathBeneath path(drive.Get(), below);
        EXPECT_EQ(path.Folder(), -1);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    }
}

// The drive folder is the one the card was opened on, its name as the system has it: a drive
// folder may hold a '\' in a name.  Given without a card, a path is an ordinary one,
// followed through links.
TEST(PathBeneath, TheDriveFolderIsTheOneOpened) {
    const CardRoot root;
    fs::create_directories(root.Path() / "My\\Card" / "Current" / "Firmware");
    {
        const Descriptor drive = OpenFolderAsNamed(((root.Path() / "My\\Card").string() + "/").c_str());
        ASSERT_FALSE(drive.IsEmpty());
        const PathBeneath path(drive.Get(), kPackage);
        ASSERT_GE(path.Folder(), 0);
        EXPECT_TRUE(IsFolder(path.Folder(), root.Path() / "My\\Card" / "Current" / "Firmware"));
        EXPECT_TRUE(path.Beneath());
    }
    card_layouts::CurrentOffTheCard(root.Path());
    const PathBeneath ordinary((root.Drive("card") + "Current\\Firmware\\R5610200.fw").c_str());
    ASSERT_GE(ordinary.Folder(), 0);
    EXPECT_TRUE(IsFolder(ordinary.Folder(), root.Path() / "outside" / "Firmware"));
    EXPECT_FALSE(ordinary.Beneath());
}

}  // namespace
