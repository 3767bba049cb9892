// What only the POSIX layer shows: file failures provoked by a full device and a
// file-size limit, the counter's unit, and an ANSI code page that follows the locale.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

TEST(PosixFiles, WriteToAFullDeviceFailsWithDiskFull) {
    const HANDLE device = CreateFileA("\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    DWORD written = 77;
    EXPECT_FALSE(WriteFile(device, "abc", 3, &written, nullptr));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_DISK_FULL});
    EXPECT_TRUE(CloseHandle(device));
}

// One write reports what the system took: under a file-size limit that is a short count,
// and no second attempt turns it into a failure.
TEST(PosixFiles, ShortWriteReportsTheBytesWritten) {
    const std::string path =
        (std::filesystem::temp_directory_path() / ("fw-short-" + std::to_string(getpid()))).string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10, 10};
        setrlimit(RLIMIT_FSIZE, &limit);
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const BOOL ok = WriteFile(file, "0123456789abcdefghij", 20, &written, nullptr);
        CloseHandle(file);
        _exit(ok && written == 10 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    std::error_code ignored;
    const auto size = std::filesystem::file_size(path, ignored);
    std::filesystem::remove(path, ignored);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "WriteFile did not report the 10 bytes written as a success";
    EXPECT_EQ(size, 10u);
}

// The converters kept between conversions belong to a character set: after the locale
// changes, the ANSI code page is the new locale's, and again the old one's after it
// changes back.
TEST(PosixCodePage, AnsiConversionsFollowTheLocaleAcrossChanges) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    const struct {
        const char* locale;
        const char* narrow;  // U+00E9 in the locale's character set
    } cases[] = {{"C", "\xE9"}, {"C.UTF-8", "\xC3\xA9"}, {"C", "\xE9"}};
    for (const auto& c : cases) {
        ASSERT_NE(std::setlocale(LC_ALL, c.locale), nullptr) << c.locale;
        WCHAR wide[4] = {};
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, c.narrow, -1, wide, 4), 2) << c.locale;
        EXPECT_EQ(wide[0], WCHAR{0xE9}) << c.locale;
        char narrow[8] = {};
        EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 8, nullptr, nullptr),
                  static_cast<int>(std::strlen(c.narrow)) + 1)
            << c.locale;
        EXPECT_STREQ(narrow, c.narrow) << c.locale;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(PosixCounter, TicksAreNanoseconds) {
    LARGE_INTEGER before{};
    LARGE_INTEGER after{};
    QueryPerformanceCounter(&before);
    Sleep(20);
    QueryPerformanceCounter(&after);
    EXPECT_GE(after.QuadPart - before.QuadPart, 20000000);
    EXPECT_LT(after.QuadPart - before.QuadPart, 20000000000);
}

}  // namespace
