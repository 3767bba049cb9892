// Where a component beside the program lies, for the program paths Windows hands out: a
// folder on a drive, a drive's root, a network share, a long path, any characters.
#include "platform/win32/ComponentPath.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/RowName.h"

namespace {

struct PathCase {
    const char* name;
    const wchar_t* program;
    const wchar_t* file;    // null: no path
    const wchar_t* folder;
};

void PrintTo(const PathCase& row, std::ostream* out) { *out << row.name; }

class ComponentPathOf : public testing::TestWithParam<PathCase> {};

TEST_P(ComponentPathOf, IsBelowTheProgramsFolder) {
    const PathCase& row = GetParam();
    const platform::win32::ComponentPath path(row.program, L"usbcamera\\usbcamera.dll");
    ASSERT_EQ(path.IsValid(), row.file != nullptr);
    if (row.file != nullptr) {
        EXPECT_EQ(std::wstring(path.File()), row.file);
        EXPECT_EQ(std::wstring(path.Folder()), row.folder);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ComponentPathOf,
    testing::Values(
        PathCase{"drive_folder", L"C:\\Tools\\fwupgrade.exe", L"C:\\Tools\\usbcamera\\usbcamera.dll",
                 L"C:\\Tools\\usbcamera"},
        PathCase{"drive_root", L"D:\\fwupgrade.exe", L"D:\\usbcamera\\usbcamera.dll", L"D:\\usbcamera"},
        PathCase{"share", L"\\\\server\\share\\Camera Tools\\fwupgrade.exe",
                 L"\\\\server\\share\\Camera Tools\\usbcamera\\usbcamera.dll",
                 L"\\\\server\\share\\Camera Tools\\usbcamera"},
        PathCase{"long_path", L"\\\\?\\C:\\Downloads\\fwupgrade-windows-x86\\fwupgrade.exe",
                 L"\\\\?\\C:\\Downloads\\fwupgrade-windows-x86\\usbcamera\\usbcamera.dll",
                 L"\\\\?\\C:\\Downloads\\fwupgrade-windows-x86\\usbcamera"},
        PathCase{"any_characters", L"C:\\Kamera \u00dcbertragung \u30ab\u30e1\u30e9\\fwupgrade.exe",
                 L"C:\\Kamera \u00dcbertragung \u30ab\u30e1\u30e9\\usbcamera\\usbcamera.dll",
                 L"C:\\Kamera \u00dcbertragung \u30ab\u30e1\u30e9\\usbcamera"},
        // Never the working folder: a name without a folder gives no path at all.
        PathCase{"no_folder", L"fwupgrade.exe", nullptr, nullptr}),
    RowName<PathCase>);

TEST(ProgramPath, IsTheRunningProgramsOwn) {
    const std::unique_ptr<wchar_t[]> path = platform::win32::ProgramPath();
    ASSERT_NE(path, nullptr);
    const std::wstring text(path.get());
    const std::wstring name = L"\\win32_side_by_side_test.exe";
    ASSERT_GT(text.size(), name.size());
    EXPECT_EQ(text.substr(text.size() - name.size()), name);
}

}  // namespace
