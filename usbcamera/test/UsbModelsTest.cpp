// The id table owners and packagers edit by hand: what counts as an entry, and the table
// the build installs.
#include "UsbModels.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/RowName.h"

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

// What an owner or packager may have put at the table's name: only a regular file of a
// bounded size is read, a link to one included; anything else is ignored at once, and why.
struct TakenTableRow {
    const char* name;
    void (*make)(const std::string& path);
    const char* problem;  // empty: read
};

void PrintTo(const TakenTableRow& row, std::ostream* out) { *out << row.name; }

class UsbModelsTakenTable : public testing::TestWithParam<TakenTableRow> {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() / ("usb-models-" + std::to_string(getpid()));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::filesystem::path folder_;
};

TEST_P(UsbModelsTakenTable, IsReadOnlyAsABoundedRegularFile) {
    const std::string path = (folder_ / "usb-models.txt").string();
    GetParam().make(path);
    std::string problem;
    const UsbModels table = UsbModels::Load(path, problem);
    EXPECT_EQ(problem, GetParam().problem);
    EXPECT_EQ(table.Find("1209", "0001"), *GetParam().problem == '\0' ? "RQ5600 Zoom Digital Camera" : "");
}

void WriteTable(const std::string& path) { std::ofstream(path) << "1209:0001  RQ5600 Zoom Digital Camera\n"; }

INSTANTIATE_TEST_SUITE_P(
    Kinds, UsbModelsTakenTable,
    testing::Values(TakenTableRow{"regularFile", WriteTable, ""},
                    TakenTableRow{"linkToARegularFile",
                                  [](const std::string& path) {
                                      WriteTable(path + ".real");
                                      std::filesystem::create_symlink(path + ".real", path);
                                  },
                                  ""},
                    TakenTableRow{"fifo", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
                                  "not a regular file"},
                    TakenTableRow{"linkToAnEndlessDevice",
                                  [](const std::string& path) { std::filesystem::create_symlink("/dev/zero", path); },
                                  "not a regular file"},
                    TakenTableRow{"overLarge",
                                  [](const std::string& path) {
                                      WriteTable(path);
                                      std::filesystem::resize_file(path, 2 * 1024 * 1024);
                                  },
                                  "larger than 1048576 bytes"},
                    TakenTableRow{"missing", [](const std::string&) {}, "No such file or directory"}),
    RowName<TakenTableRow>);

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
