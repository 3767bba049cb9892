// Where the package lands below the card's drive folder: the package folder, the package and
// its staging file beside it, as the card's file services take them.
#include "app/PackagePaths.h"

#include <gtest/gtest.h>

namespace {

TEST(PackagePaths, PackageAndStagingFileInTheFirmwareFolder) {
    const PackagePaths paths("R5610200.fw");
    EXPECT_STREQ(paths.Folder(), "Current\\Firmware\\");
    EXPECT_STREQ(paths.Package(), "Current\\Firmware\\R5610200.fw");
    EXPECT_STREQ(paths.Staging(), "Current\\Firmware\\R5610200.fw~");
}

}  // namespace
