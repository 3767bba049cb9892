// Which drive paths name a folder absolutely, ending in a separator: only under such a
// path does an appended "Current\Firmware\..." stay inside the folder.  The forms differ
// between the systems; each row says what each accepts.
#include "platform/Platform.h"

#include "support/RowName.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct FolderPathRow {
    const char* name;
    const char* path;
    bool onWindows;
    bool onPosix;
};

void PrintTo(const FolderPathRow& row, std::ostream* out) { *out << row.name; }

class FolderPathTest : public testing::TestWithParam<FolderPathRow> {};

TEST_P(FolderPathTest, AbsoluteFolderEndingInASeparator) {
    const FolderPathRow& row = GetParam();
#if defined(_WIN32)
    EXPECT_EQ(platform::IsAbsoluteFolderPath(row.path), row.onWindows) << row.path;
#else
    EXPECT_EQ(platform::IsAbsoluteFolderPath(row.path), row.onPosix) << row.path;
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Forms, FolderPathTest,
    testing::Values(FolderPathRow{"null", nullptr, false, false},
                    FolderPathRow{"empty", "", false, false},
                    FolderPathRow{"driveRoot", "E:\\", true, false},
                    FolderPathRow{"driveFolder", "e:\\cards\\one\\", true, false},
                    FolderPathRow{"driveWithSlashes", "E:/cards/", true, false},
                    FolderPathRow{"driveWithoutSeparator", "E:", false, false},
                    FolderPathRow{"driveRelative", "E:cards\\", false, false},
                    FolderPathRow{"folderWithoutSeparator", "E:\\cards", false, false},
                    FolderPathRow{"share", "\\\\server\\share\\", true, false},
                    FolderPathRow{"shareFolder", "\\\\server\\share\\cards\\", true, false},
                    FolderPathRow{"serverWithoutShare", "\\\\server\\", false, false},
                    FolderPathRow{"localDevice", "\\\\.\\pipe\\", false, false},
                    FolderPathRow{"deviceNamespace", "\\\\?\\E:\\", false, false},
                    FolderPathRow{"rootRelative", "\\cards\\", false, false},
                    FolderPathRow{"posixFolder", "/media/card/", false, true},
                    FolderPathRow{"posixRoot", "/", false, true},
                    FolderPathRow{"posixWithoutSeparator", "/media/card", false, false},
                    // A backslash is part of a POSIX name, never the separator the file
                    // services would make of it.
                    FolderPathRow{"posixBackslashInside", "/media/My\\Card/", false, false},
                    FolderPathRow{"posixEndingInABackslash", "/media/card\\", false, false},
                    FolderPathRow{"relative", "cards/", false, false},
                    FolderPathRow{"dotRelative", "./", false, false}),
    RowName<FolderPathRow>);

// The drive's name that messages show: the letter on Windows, the mount point on POSIX.
struct DriveNameRow {
    const char* name;
    const char* path;
    const char* shown;
};

void PrintTo(const DriveNameRow& row, std::ostream* out) { *out << row.name; }

class DriveNameTest : public testing::TestWithParam<DriveNameRow> {};

TEST_P(DriveNameTest, NamesTheDriveAsMessagesShowIt) {
    const DriveNameRow& row = GetParam();
    EXPECT_EQ(std::string(row.path, platform::DriveNameLength(row.path)), row.shown);
}

#if defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(Windows, DriveNameTest,
                         testing::Values(DriveNameRow{"driveRoot", "E:\\", "E"},
                                         DriveNameRow{"driveFolder", "e:\\cards\\one\\", "e"}),
                         RowName<DriveNameRow>);
#else
INSTANTIATE_TEST_SUITE_P(Posix, DriveNameTest,
                         testing::Values(DriveNameRow{"mountPoint", "/media/card/", "/media/card"},
                                         DriveNameRow{"doubledSeparator", "/media/card//", "/media/card"},
                                         DriveNameRow{"root", "/", "/"}),
                         RowName<DriveNameRow>);
#endif

}  // namespace
