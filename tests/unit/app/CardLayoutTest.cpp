// The card's layout: which drive paths the component may hand out, and the drive folder kept
// of a good one.  Each form is written as each system spells it, so the same rows run
// natively and under Wine.
#include "app/CardLayout.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/RaisedStatus.h"
#include "support/RowName.h"

namespace {

#if defined(_WIN32)
#define ON_SYSTEM(windows, posix) windows
#else
#define ON_SYSTEM(windows, posix) posix
#endif

struct DrivePathRow {
    const char* name;
    WideStringHandle (*path)();
    bool usable;
};

void PrintTo(const DrivePathRow& row, std::ostream* out) { *out << row.name; }

WideStringHandle Wide(const OLECHAR* text) { return WideStringHandle(text); }
// `length` code units of `text`, zeros included.
WideStringHandle WideOfLength(const OLECHAR* text, UINT length) {
    return WideStringHandle::Attach(SysAllocStringLen(text, length));
}

class DrivePathTest : public testing::TestWithParam<DrivePathRow> {};

TEST_P(DrivePathTest, OnlyAnAbsoluteFolderThatConvertsExactlyIsUsable) {
    const DrivePathRow& row = GetParam();
    const HRESULT status = RaisedStatus([&] { const CardLayout layout(row.path()); });
    // Unusable is raised as an invalid argument, or as the converter's refusal.
    if (row.usable) {
        EXPECT_EQ(status, S_OK);
    } else {
        EXPECT_TRUE(status == E_INVALIDARG || status == _com_error::FromSystemError(ERROR_NO_UNICODE_TRANSLATION)) << status;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DrivePathTest,
    testing::Values(
        DrivePathRow{"card", [] { return Wide(ON_SYSTEM(OLESTR("E:\\"), OLESTR("/media/card/"))); }, true},
        DrivePathRow{"folderOnTheCard",
                     [] { return Wide(ON_SYSTEM(OLESTR("E:\\cards\\one\\"), OLESTR("/media/card/one/"))); }, true},
        DrivePathRow{"empty", [] { return Wide(OLESTR("")); }, false},
        DrivePathRow{"null", [] { return WideStringHandle(static_cast<const OLECHAR*>(nullptr)); }, false},
        DrivePathRow{"relative", [] { return Wide(OLESTR("sub/")); }, false},
        DrivePathRow{"withoutSeparator", [] { return Wide(ON_SYSTEM(OLESTR("E:"), OLESTR("/media/card"))); }, false},
        DrivePathRow{"zeroInside",
                     [] {
                         return ON_SYSTEM(WideOfLength(OLESTR("E:\\\0x\\"), 6),
                                          WideOfLength(OLESTR("/media/\0x/"), 10));
                     },
                     false},
        // Components that lead off the folder the path seems to name.
        DrivePathRow{"dotDotComponent",
                     [] { return Wide(ON_SYSTEM(OLESTR("E:\\..\\outside\\"), OLESTR("/media/card/../outside/"))); },
                     false},
        DrivePathRow{"dotDotLast", [] { return Wide(ON_SYSTEM(OLESTR("E:\\cards/../"), OLESTR("/media/card/../"))); },
                     false},
        DrivePathRow{"dotComponent", [] { return Wide(ON_SYSTEM(OLESTR("E:\\.\\"), OLESTR("/media/./card/"))); },
                     false},
        DrivePathRow{"dotsInsideAName",
                     [] { return Wide(ON_SYSTEM(OLESTR("E:\\v1..2\\"), OLESTR("/media/v1..2/.card/"))); }, true},
        // A backslash is a separator on Windows; on POSIX it is part of a name ("My\Card"),
        // which the file services would take for a separator.
        DrivePathRow{"backslashInside",
                     [] { return Wide(ON_SYSTEM(OLESTR("E:\\My\\Card\\"), OLESTR("/media/My\\Card/"))); },
                     ON_SYSTEM(true, false)},
        // Characters the narrow path cannot hold exactly: a full-width backslash, which a
        // best-fit conversion makes '\', and a lone surrogate.
        DrivePathRow{"endingInAFullWidthBackslash",
                     [] { return Wide(ON_SYSTEM(OLESTR("E:\xFF3C"), OLESTR("/media/card\xFF3C"))); }, false},
        DrivePathRow{"loneSurrogate",
                     [] { return Wide(ON_SYSTEM(OLESTR("E:\\\xD800\\"), OLESTR("/media/\xD800/"))); }, false}),
    RowName<DrivePathRow>);

TEST(CardLayout, KeepsTheDriveFolderTheCardIsOpenedOn) {
    const CardLayout card(Wide(ON_SYSTEM(OLESTR("E:\\"), OLESTR("/media/card/"))));
    EXPECT_STREQ(card.Drive(), ON_SYSTEM("E:\\", "/media/card/"));
}

TEST(CardLayout, IsNeverBuiltOnAnUnusableDrivePath) {
    EXPECT_EQ(RaisedStatus([] { CardLayout card(Wide(OLESTR("sub/"))); }), E_INVALIDARG);
}

}  // namespace
