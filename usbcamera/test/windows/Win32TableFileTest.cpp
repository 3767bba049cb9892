// The id table's reader on Windows: through the wide calls, so that a folder name the ANSI
// code page lacks still serves, and only a regular file of at most 1 MiB (never a device,
// whose read could go on for ever, nor a folder).
#include "usbcamera/TableFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

class TableFile : public testing::Test {
protected:
    void SetUp() override {
        // Katakana and an umlaut: no single ANSI code page has both.
        folder_ = fs::temp_directory_path() / fs::u8path("usbcamera-\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9-K\xC3\xA4mera");
        fs::remove_all(folder_);
        ASSERT_TRUE(fs::create_directories(folder_));
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Writes `content` to `name` in the folder; returns its path in UTF-8.
    std::string Write(const std::string& name, const std::string& content) const {
        const fs::path path = folder_ / name;
        std::ofstream file(path, std::ios::binary);
        file << content;
        EXPECT_TRUE(file.good()) << name;
        return path.u8string();
    }

    fs::path folder_;
};

TEST_F(TableFile, ReadsARegularFileWholeInAFolderOfAnyName) {
    const std::string content = "# ids\r\n1209:0001  RQ5600 Zoom Digital Camera\r\n1209:0007 K\xC3\xBC" "che\n";
    std::string text = "left from before";
    std::string problem;
    ASSERT_TRUE(usbcamera::ReadTableFile(Write("usb-models.txt", content), text, problem));
    EXPECT_EQ(text, content);
    EXPECT_EQ(problem, "");
}

TEST_F(TableFile, ReadsOneMebibyteAndNoMore) {
    std::string text;
    std::string problem;
    EXPECT_TRUE(usbcamera::ReadTableFile(Write("limit.txt", std::string(1 << 20, '#')), text, problem));
    EXPECT_EQ(text.size(), std::size_t{1} << 20);
    EXPECT_FALSE(usbcamera::ReadTableFile(Write("over.txt", std::string((1 << 20) + 1, '#')), text, problem));
    EXPECT_EQ(text, "");
    EXPECT_EQ(problem, "larger than 1048576 bytes");
}

TEST_F(TableFile, RefusesWhatIsNoRegularFile) {
    struct Case {
        const char* what;
        std::string path;
        const char* problem;  // how it begins
    };
    const Case cases[] = {
        {"missing", (folder_ / "absent.txt").u8string(), "cannot be opened"},
        {"folder", folder_.u8string(), ""},
        {"device", "NUL", "not a regular file"},
        {"console", "CONIN$", ""},
    };
    for (const Case& c : cases) {
        std::string text = "left from before";
        std::string problem;
        EXPECT_FALSE(usbcamera::ReadTableFile(c.path, text, problem)) << c.what;
        EXPECT_EQ(text, "") << c.what;
        EXPECT_FALSE(problem.empty()) << c.what;
        EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.what << ": " << problem;
    }
}

}  // namespace
