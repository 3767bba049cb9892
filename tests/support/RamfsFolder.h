// A fresh folder with a ramfs mounted on it for one test: a file system that refuses
// O_DIRECT, as tmpfs did before Linux 6.6.  Mounting needs root; a test without it says so
// and skips.  POSIX only.
#pragma once

#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

class RamfsFolder {
public:
    RamfsFolder()
        : path_((std::filesystem::temp_directory_path() / ("fw-ramfs-" + std::to_string(std::random_device{}())))
                    .string()) {
        std::filesystem::create_directories(path_);
        mounted_ = mount("ramfs", path_.c_str(), "ramfs", 0, nullptr) == 0;
    }
    ~RamfsFolder() {
        if (mounted_) {
            umount2(path_.c_str(), MNT_DETACH);
        }
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    RamfsFolder(const RamfsFolder&) = delete;
    RamfsFolder& operator=(const RamfsFolder&) = delete;

    bool Mounted() const { return mounted_; }
    // Turns the mounted file system read-only, as files stay open on it.  A remount ignores
    // the source and the type; they are named all the same, as valgrind checks that they can
    // be read.
    bool RemountReadOnly() const {
        return mount("ramfs", path_.c_str(), "ramfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }
    // Ends with a separator.
    std::string Path() const { return path_ + "/"; }

    // Whether a file in `folder` opens with O_DIRECT.
    static bool TakesDirectIo(const std::string& folder) {
        const std::string probe = folder + "/.direct-io-probe";
        const int created = open(probe.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (created < 0) {
            return false;
        }
        close(created);
        const int direct = open(probe.c_str(), O_RDONLY | O_DIRECT);
        if (direct >= 0) {
            close(direct);
        }
        unlink(probe.c_str());
        return direct >= 0;
    }

private:
    std::string path_;
    bool mounted_ = false;
};
