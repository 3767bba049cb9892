// The id table owners and packagers edit by hand: what counts as an entry, and the table
// the build installs.
#include "usbcamera/UsbModels.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using usbcamera::UsbModels;

// As Windows editors save it, with a byte-order mark before the first line.
TEST(UsbModels, ReadsAnEntryAfterAByteOrderMark) {
    const UsbModels table = UsbModels::Parse("\xEF\xBB\xBF" "1209:0009  First Line\r\n");
    EXPECT_EQ(table.Find("1209", "0009"), "First Line");
}

TEST(UsbModels, ReadsEntriesAndSkipsWhatIsNoEntry) {
    const UsbModels table = UsbModels::Parse(
        "# comment 1209:0003 Not A Camera\n"
        "\n"
        "1209:0001  RQ5600 Zoom Digital Camera  \n"
        "\t04B0:0F0A\tCamera With Upper Case Id\r\n"
        "1209:0001 Second Line For The Same Id\n"
        "1209:02 Too Short\n"
        "1209-0004 Wrong Separator\n"
        "12g9:0005 Not Hex\n"
        "1209:0006\n"
        "1209:0007 K\xC3\xBC" "che\n");
    EXPECT_EQ(table.Find("1209", "0001"), "RQ5600 Zoom Digital Camera");
    EXPECT_EQ(table.Find("04b0", "0f0a"), "Camera With Upper Case Id");
    EXPECT_EQ(table.Find("1209", "0007"), "K\xC3\xBC" "che");
    for (const char* product : {"0002", "0003", "0004", "0005", "0006"}) {
        EXPECT_EQ(table.Find("1209", product), "") << product;
    }
    EXPECT_EQ(table.Find("12g9", "0005"), "");
}

// Saved by an editor that begins UTF-8 with a byte-order mark.
TEST(UsbModels, ByteOrderMarkBeforeTheFirstEntryIsSkipped) {
    const UsbModels table = UsbModels::Parse("\xEF\xBB\xBF" "1209:0001  RQ5600 Zoom Digital Camera\n");
    EXPECT_EQ(table.Find("1209", "0001"), "RQ5600 Zoom Digital Camera");
}

// The table built beside the plugin names every configured id with the model name.
TEST(UsbModels, BuiltTableNamesTheConfiguredIds) {
    std::string problem;
    const UsbModels table = UsbModels::Load(USBCAMERA_BUILT_TABLE, problem);
    EXPECT_EQ(problem, "");
    const std::string ids = USBCAMERA_CONFIGURED_IDS;
    std::size_t start = 0;
    while (start < ids.size()) {
        const std::size_t end = std::min(ids.find(';', start), ids.size());
        const std::string id = ids.substr(start, end - start);
        EXPECT_EQ(table.Find(id.substr(0, 4), id.substr(5)), USBCAMERA_MODEL) << id;
        start = end + 1;
    }
    EXPECT_FALSE(ids.empty());
}

}  // namespace
