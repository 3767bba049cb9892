// Cards as folders of a test, and the one table of layouts below a card's drive folder that
// the card's file services must keep to: the seam's services run through it on both systems
// (tests/unit/platform/CardFolderTest.cpp), the POSIX walk with either way of walking
// (tests/unit/platform/posix/PathBeneathTest.cpp).
//
// Links and mounts are made for real on POSIX.  Wine 8 makes no reparse point
// (CreateSymbolicLinkW reports success and makes nothing, FSCTL_SET_REPARSE_POINT fails with
// ERROR_NOT_SUPPORTED), and opens the target of a host's link even with
// FILE_FLAG_OPEN_REPARSE_POINT, so that its handle tells no reparse point.  On Windows a
// layout therefore names the folder that is one, and ReparsePointFake makes that folder's
// handle report it, as Windows reports a junction, a symbolic link or a mounted volume.
// (Wine does tell a host's link or mount by its name: the whole-program rows LINKED_FOLDERS
// run the Windows program against real links.)
#pragma once

#include "platform/Platform.h"
#include "platform/SystemApi.h"
#include "support/FaultInjection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <system_error>

#if !defined(_WIN32)
#include <sys/mount.h>
#endif

// A fresh root holding the card, "card/Current/Firmware"; a folder off the card,
// "outside/Firmware"; and a file off it, "outside.fw".
class CardRoot {
public:
    CardRoot()
        : root_(std::filesystem::temp_directory_path() / ("fw-card-" + std::to_string(std::random_device{}()))) {
        std::filesystem::create_directories(root_ / "card" / "Current" / "Firmware");
        std::filesystem::create_directories(root_ / "outside" / "Firmware");
        std::ofstream(root_ / "outside.fw", std::ios::binary) << "not the card's";
    }
    ~CardRoot() {
#if !defined(_WIN32)
        umount2((root_ / "card" / "Current" / "Firmware").c_str(), MNT_DETACH);
#endif
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    CardRoot(const CardRoot&) = delete;
    CardRoot& operator=(const CardRoot&) = delete;

    const std::filesystem::path& Path() const { return root_; }
    // `below` the root as a drive folder, ending in the system's separator.
    std::string Drive(const std::string& below) const {
        return (root_ / below).string() + static_cast<char>(std::filesystem::path::preferred_separator);
    }

private:
    std::filesystem::path root_;
};

#if defined(_WIN32)
// Makes the handles of one folder report it a reparse point: what its handle says of a
// junction, a symbolic link or a mounted volume on Windows.  Other handles are told as the
// system tells them.
class ReparsePointFake {
public:
    explicit ReparsePointFake(const std::filesystem::path& folder) {
        const HANDLE opened = CreateFileA(folder.string().c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        EXPECT_NE(opened, INVALID_HANDLE_VALUE) << folder;
        EXPECT_TRUE(platform::kSystemDefaults.GetFileInformationByHandle(opened, &folder_));
        CloseHandle(opened);
    }
    ReparsePointFake(const ReparsePointFake&) = delete;
    ReparsePointFake& operator=(const ReparsePointFake&) = delete;

private:
    static BOOL Describe(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information) {
        if (!platform::kSystemDefaults.GetFileInformationByHandle(file, information)) {
            return FALSE;
        }
        if (information->dwVolumeSerialNumber == folder_.dwVolumeSerialNumber &&
            information->nFileIndexHigh == folder_.nFileIndexHigh && information->nFileIndexLow == folder_.nFileIndexLow) {
            information->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        }
        return TRUE;
    }

    static inline BY_HANDLE_FILE_INFORMATION folder_{};
    ScopedOverride<decltype(platform::SystemApi::GetFileInformationByHandle)> swap_{
        &platform::SystemApi::GetFileInformationByHandle, Describe};
};
#endif

// A layout as this host made it.
struct MadeLayout {
    std::string skipped;             // not empty: this host cannot make it, and why
    std::string drive = "card";      // the drive folder below the root
    std::string reparsePoint;        // Windows: the folder below the root that is one (ReparsePointFake)
};

struct CardCase {
    const char* name;
    MadeLayout (*make)(const std::filesystem::path& root);
    bool onCard;       // the file services find the card's package folder and write there
    DWORD probeError;  // otherwise: why the package folder's free space cannot be queried
};

inline void PrintTo(const CardCase& row, std::ostream* out) { *out << row.name; }

namespace card_layouts {

namespace fs = std::filesystem;

inline MadeLayout AsMade(const fs::path&) { return {}; }

inline MadeLayout WithoutFirmware(const fs::path& root) {
    fs::remove_all(root / "card" / "Current" / "Firmware");
    return {};
}

inline MadeLayout WithoutCurrent(const fs::path& root) {
    fs::remove_all(root / "card" / "Current");
    return {};
}

// `below` the card (a folder of it) made a link to `target`, or on Windows the folder that
// is a reparse point.
inline MadeLayout Linked(const fs::path& root, const char* below, const fs::path& target) {
#if defined(_WIN32)
    (void)root;
    (void)target;
    MadeLayout made;
    made.reparsePoint = (fs::path("card") / below).string();
    return made;
#else
    fs::remove_all(root / "card" / below);
    fs::create_directory_symlink(target, root / "card" / below);
    return {};
#endif
}

inline MadeLayout CurrentOffTheCard(const fs::path& root) { return Linked(root, "Current", root / "outside"); }

inline MadeLayout FirmwareOffTheCard(const fs::path& root) {
    return Linked(root, "Current/Firmware", root / "outside" / "Firmware");
}

// A relative link that stays on the card is still a link.
inline MadeLayout FirmwareElsewhereOnTheCard(const fs::path& root) {
    fs::create_directories(root / "card" / "Elsewhere");
    return Linked(root, "Current/Firmware", "../Elsewhere");
}

inline MadeLayout FirmwareOnAnotherVolume(const fs::path& root) {
#if defined(_WIN32)
    (void)root;
    MadeLayout made;
    made.reparsePoint = (fs::path("card") / "Current" / "Firmware").string();
    return made;
#else
    MadeLayout made;
    if (mount("ramfs", (root / "card" / "Current" / "Firmware").c_str(), "ramfs", 0, nullptr) != 0) {
        made.skipped = "mounting a file system on the card's folder needs root";
    }
    return made;
#endif
}

// The file services act on the name itself: the package moved over the link, which the
// core reads as the package's own name, replaces the link; the file it pointed to stays.
inline MadeLayout PackageNameALink(const fs::path& root) {
    MadeLayout made;
#if defined(_WIN32)
    (void)root;
    made.skipped = "Wine makes no symbolic link, and no service opens the package's name by a handle; the "
                   "whole-program row 'package name taken by a link' moves the package over a host's link under Wine";
#else
    fs::create_symlink(root / "outside.fw", root / "card" / "Current" / "Firmware" / "R5610200.fw");
#endif
    return made;
}

// Where the system mounts the card is its own business: the drive folder itself may be a
// link (on Windows, a reparse point), and is opened as named.
inline MadeLayout DriveFolderALink(const fs::path& root) {
    MadeLayout made;
#if defined(_WIN32)
    (void)root;
    made.reparsePoint = "card";
#else
    fs::create_directory_symlink(root / "card", root / "card-link");
    made.drive = "card-link";
#endif
    return made;
}

}  // namespace card_layouts

inline const CardCase kCardCases[] = {
    {"asMade", card_layouts::AsMade, true, ERROR_SUCCESS},
    {"firmwareMissing", card_layouts::WithoutFirmware, false, ERROR_FILE_NOT_FOUND},
    {"currentMissing", card_layouts::WithoutCurrent, false, ERROR_PATH_NOT_FOUND},
    {"currentALinkOffTheCard", card_layouts::CurrentOffTheCard, false, ERROR_PATH_NOT_FOUND},
    {"firmwareALinkOffTheCard", card_layouts::FirmwareOffTheCard, false, ERROR_PATH_NOT_FOUND},
    {"firmwareALinkOnTheCard", card_layouts::FirmwareElsewhereOnTheCard, false, ERROR_PATH_NOT_FOUND},
    {"firmwareOnAnotherVolume", card_layouts::FirmwareOnAnotherVolume, false, ERROR_PATH_NOT_FOUND},
    {"packageNameALink", card_layouts::PackageNameALink, true, ERROR_SUCCESS},
    {"driveFolderALink", card_layouts::DriveFolderALink, true, ERROR_SUCCESS},
};
