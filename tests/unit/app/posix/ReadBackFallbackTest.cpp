// The package write on a card whose file system refuses O_DIRECT (a ramfs, as tmpfs before
// Linux 6.6): the read-back falls back to dropping the synced file's cached pages, and it
// still reads the staging file back and compares it with the payload.
#include "app/MemoryCard.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/SystemApi.h"
#include "support/FaultInjection.h"
#include "support/FileContent.h"
#include "support/RamfsFolder.h"

namespace {

class ReadBackFallback : public testing::Test {
protected:
    void SetUp() override {
        if (!card_.Mounted()) {
            GTEST_SKIP() << "mounting a ramfs needs root; the read-back's fallback is not exercised";
        }
        if (RamfsFolder::TakesDirectIo(card_.Path())) {
            GTEST_SKIP() << "this kernel's ramfs takes O_DIRECT; the fallback is not reached";
        }
        std::filesystem::create_directories(folder_);
        std::ofstream(package_, std::ios::binary) << "an older package";
    }

    bool Write() {
        DWORD written = 0;
        const platform::CardFolder card(platform::sys.OpenCardFolder(card_.Path().c_str()));
        return WritePackageFile(card, PackagePaths("R5610200.fw"), payload_.data(),
                                static_cast<DWORD>(payload_.size()), &written) == WriteOutcome::Written;
    }
    std::vector<std::string> Folder() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
    std::string Package() const { return FileContent(package_); }

    RamfsFolder card_;
    const std::string folder_ = card_.Path() + "Current/Firmware/";
    const std::string package_ = folder_ + "R5610200.fw";
    const std::vector<BYTE> payload_ = std::vector<BYTE>(150000, 0xA5);
};

TEST_F(ReadBackFallback, MatchingFileIsMovedOverThePackage) {
    EXPECT_TRUE(Write());
    EXPECT_EQ(Folder(), std::vector<std::string>{"R5610200.fw"});
    EXPECT_EQ(Package(), std::string(payload_.begin(), payload_.end()));
}

BOOL CorruptingWrite(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const auto* bytes = static_cast<const BYTE*>(data);
    std::vector<BYTE> stored(bytes, bytes + size);
    stored.back() ^= 0x01;
    return platform::kSystemDefaults.WriteFile(file, stored.data(), size, written, overlapped);
}

TEST_F(ReadBackFallback, MismatchIsStillFound) {
    ScopedOverride<decltype(platform::SystemApi::WriteFile)> corrupting{&platform::SystemApi::WriteFile,
                                                                        CorruptingWrite};
    EXPECT_FALSE(Write());
    EXPECT_EQ(Folder(), std::vector<std::string>{"R5610200.fw"});
    EXPECT_EQ(Package(), "an older package");
}

}  // namespace
