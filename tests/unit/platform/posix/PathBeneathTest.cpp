// The folders below a card's drive folder are never reached through a link, another file
// system or "..": with either way of walking, every layout of the card table
// (support/CardFolders.h) that leads off the card fails the walk, and one that keeps to it
// opens the card's package folder.  Outside the card's bounds a path is an ordinary one.
#include "platform/Platform.h"

#include "platform/posix/PathBeneath.h"
#include "support/CardFolders.h"
#include "support/RowName.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;
using platform::posix::PathBeneath;

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
    const std::string drive = root_.Drive(made.drive);
    const DeclaredCardBounds bounds(drive);
    const std::string package = drive + "Current\\Firmware\\R5610200.fw";
    for (const PathBeneath::Walk walk : {PathBeneath::Walk::kBest, PathBeneath::Walk::kOneAtATime}) {
        SCOPED_TRACE(walk == PathBeneath::Walk::kBest ? "best walk" : "one folder at a time");
        SetLastError(0);
        const PathBeneath path(package.c_str(), walk);
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
    const DeclaredCardBounds bounds(root.Drive("card"));
    for (const char* below : {"Current\\..\\Current\\Firmware\\x", "Current\\.\\Firmware\\x", "Current\\Firmware\\.."}) {
        SCOPED_TRACE(below);
        SetLastError(0);
        const PathBeneath path((root.Drive("card") + below).c_str());
        EXPECT_EQ(path.Folder(), -1);
        EXPECT_EQ(GetLastError(), DWORD{ERROR_PATH_NOT_FOUND});
    }
}

// Where the drive folder ends is what the core declared, not where the first '\' is: a
// drive folder may hold one in a name.  With no bounds declared, the same path is an ordinary
// one, followed through links.
TEST(PathBeneath, TheDriveFolderIsTheDeclaredOne) {
    const CardRoot root;
    fs::create_directories(root.Path() / "My\\Card" / "Current" / "Firmware");
    const std::string drive = (root.Path() / "My\\Card").string() + "/";
    {
        const DeclaredCardBounds bounds(drive);
        const PathBeneath path((drive + "Current\\Firmware\\R5610200.fw").c_str());
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
