// The id table's file on POSIX: what an owner or packager may have put at its name.
#include "usbcamera/UsbModels.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/RowName.h"

namespace {

using usbcamera::UsbModels;

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

}  // namespace
