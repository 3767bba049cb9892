// A path as a process running as root may trust it: each row lays out folders, links and
// files of root and of another user, and the walk opens root's file only where no one else
// could have changed it or its way there.
#include "platform/posix/RootOnlyPath.h"

#include "support/RowName.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>

namespace {

namespace fs = std::filesystem;
using platform::posix::RootOnlyPath;
using Outcome = RootOnlyPath::Outcome;

constexpr uid_t kAnotherUser = 65534;  // nobody

bool SameFile(int descriptor, const fs::path& named) {
    struct stat opened {};
    struct stat found {};
    return fstat(descriptor, &opened) == 0 && stat(named.c_str(), &found) == 0 && opened.st_dev == found.st_dev &&
           opened.st_ino == found.st_ino;
}

void MakeFolder(const fs::path& folder, fs::perms mode, uid_t owner = 0) {
    fs::create_directory(folder);
    fs::permissions(folder, mode);
    ASSERT_EQ(chown(folder.c_str(), owner, owner), 0);
}

void MakeLink(const fs::path& target, const fs::path& link, uid_t owner = 0) {
    fs::create_symlink(target, link);
    ASSERT_EQ(lchown(link.c_str(), owner, owner), 0);
}

// A chain of `count` root's links in `base`, the last to the folder "plugins"; the path to
// the file through all of them.
std::string Chain(const fs::path& base, int count) {
    for (int link = 1; link <= count; ++link) {
        const std::string next = link == count ? "plugins" : "chain" + std::to_string(link + 1);
        fs::create_symlink(next, base / ("chain" + std::to_string(link)));
    }
    return (base / "chain1" / "file").string();
}

// Every row starts from `base` (root's, 0755) holding plugins/file, root's, 0644: the file
// that an opened walk must have opened.
struct WalkRow {
    const char* name;
    std::string (*arrange)(const fs::path& base);
    Outcome expected;
};

void PrintTo(const WalkRow& row, std::ostream* out) { *out << row.name; }

class RootWalk : public testing::TestWithParam<WalkRow> {
protected:
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "runs as root only: the rows need files of root and of another user";
        }
        working_ = fs::current_path();
        base_ = fs::temp_directory_path() / ("root-only-path-" + std::to_string(getpid()));
        fs::create_directories(base_ / "plugins");
        std::ofstream(base_ / "plugins" / "file") << "root's own\n";
    }
    void TearDown() override {
        if (base_.empty()) {
            return;
        }
        fs::current_path(working_);
        fs::remove_all(base_);
    }

    fs::path base_;
    fs::path working_;
};

TEST_P(RootWalk, OpensOnlyWhatOnlyRootCanChange) {
    const std::string path = GetParam().arrange(base_);
    const RootOnlyPath walked(path);
    EXPECT_EQ(walked.Result(), GetParam().expected) << path;
    if (walked.Result() == Outcome::kOpened) {
        EXPECT_TRUE(SameFile(walked.File(), base_ / "plugins" / "file"));
        EXPECT_TRUE(SameFile(walked.Folder(), base_ / "plugins"));
        EXPECT_EQ(walked.Name(), "file");
    } else {
        EXPECT_EQ(walked.File(), -1);
        EXPECT_EQ(walked.Folder(), -1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RootWalk,
    testing::Values(
        WalkRow{"rootsFile", [](const fs::path& base) { return (base / "plugins" / "file").string(); },
                Outcome::kOpened},
        // Debian's merged /usr: /lib is root's link to usr/lib in root's folder.
        WalkRow{"rootsRelativeLinkToAFolder",
                [](const fs::path& base) {
                    MakeLink("plugins", base / "lib");
                    return (base / "lib" / "file").string();
                },
                Outcome::kOpened},
        WalkRow{"rootsAbsoluteLinkToAFolder",
                [](const fs::path& base) {
                    MakeLink(base / "plugins", base / "lib");
                    return (base / "lib" / "file").string();
                },
                Outcome::kOpened},
        WalkRow{"rootsLinkToTheFile",
                [](const fs::path& base) {
                    MakeLink("file", base / "plugins" / "alias");
                    return (base / "plugins" / "alias").string();
                },
                Outcome::kOpened},
        WalkRow{"dotsOnTheWay",
                [](const fs::path& base) { return (base / "plugins" / ".." / "." / "plugins" / "file").string(); },
                Outcome::kOpened},
        WalkRow{"relativePathFromTheWorkingFolder",
                [](const fs::path& base) {
                    fs::current_path(base);
                    return std::string("plugins/file");
                },
                Outcome::kOpened},
        // No one else can replace root's names in a sticky folder, a link among them.
        WalkRow{"rootsLinkInAStickyFolderAllMayWrite",
                [](const fs::path& base) {
                    MakeFolder(base / "sticky", fs::perms(01777));
                    MakeLink(base / "plugins", base / "sticky" / "lib");
                    return (base / "sticky" / "lib" / "file").string();
                },
                Outcome::kOpened},
        WalkRow{"anotherUsersLinkInRootsFolder",
                [](const fs::path& base) {
                    MakeLink("plugins", base / "lib", kAnotherUser);
                    return (base / "lib" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"rootsLinkInAnotherUsersFolder",
                [](const fs::path& base) {
                    MakeFolder(base / "home", fs::perms(0755), kAnotherUser);
                    MakeLink(base / "plugins", base / "home" / "lib");
                    return (base / "home" / "lib" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"anotherUsersLinkToRootsFile",
                [](const fs::path& base) {
                    MakeLink("file", base / "plugins" / "alias", kAnotherUser);
                    return (base / "plugins" / "alias").string();
                },
                Outcome::kRefused},
        WalkRow{"folderOthersMayWrite",
                [](const fs::path& base) {
                    fs::permissions(base / "plugins", fs::perms(0777));
                    return (base / "plugins" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"folderOfAnotherUser",
                [](const fs::path& base) {
                    EXPECT_EQ(chown((base / "plugins").c_str(), kAnotherUser, kAnotherUser), 0);
                    return (base / "plugins" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"fileOfAnotherUser",
                [](const fs::path& base) {
                    EXPECT_EQ(chown((base / "plugins" / "file").c_str(), kAnotherUser, kAnotherUser), 0);
                    return (base / "plugins" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"fileGroupMayWrite",
                [](const fs::path& base) {
                    fs::permissions(base / "plugins" / "file", fs::perms(0664));
                    return (base / "plugins" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"missingInRootsFolder", [](const fs::path& base) { return (base / "plugins" / "none").string(); },
                Outcome::kMissing},
        WalkRow{"missingFolderInRootsFolder",
                [](const fs::path& base) { return (base / "none" / "file").string(); }, Outcome::kMissing},
        // Anyone could make the name there.
        WalkRow{"missingInAStickyFolderAllMayWrite",
                [](const fs::path& base) {
                    MakeFolder(base / "sticky", fs::perms(01777));
                    return (base / "sticky" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"aFolderAtTheEnd", [](const fs::path& base) { return (base / "plugins").string(); },
                Outcome::kMissing},
        WalkRow{"aFileOnTheWay", [](const fs::path& base) { return (base / "plugins" / "file" / "x").string(); },
                Outcome::kMissing},
        // Never opened: a FIFO would hold the open for ever.
        WalkRow{"fifoAtTheEnd",
                [](const fs::path& base) {
                    EXPECT_EQ(mkfifo((base / "plugins" / "fifo").c_str(), 0644), 0);
                    return (base / "plugins" / "fifo").string();
                },
                Outcome::kMissing},
        WalkRow{"linkLoop",
                [](const fs::path& base) {
                    fs::create_symlink("b", base / "a");
                    fs::create_symlink("a", base / "b");
                    return (base / "a" / "file").string();
                },
                Outcome::kRefused},
        WalkRow{"asManyLinksAsTheKernelFollows",
                [](const fs::path& base) { return Chain(base, RootOnlyPath::kMaxLinks); }, Outcome::kOpened},
        WalkRow{"oneLinkMore", [](const fs::path& base) { return Chain(base, RootOnlyPath::kMaxLinks + 1); },
                Outcome::kRefused}),
    RowName<WalkRow>);

// The system's own files, reached through Debian's merged /usr where the host has it, are
// opened for anyone who runs the walk: everything on their way is root's.
TEST(RootOnlyPath, OpensTheCLibraryAsTheLoaderFoundIt) {
    Dl_info libc{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&::getpid), &libc), 0);
    ASSERT_EQ(libc.dli_fname[0], '/');
    const RootOnlyPath walked(libc.dli_fname);
    ASSERT_EQ(walked.Result(), Outcome::kOpened) << libc.dli_fname;
    EXPECT_TRUE(SameFile(walked.File(), libc.dli_fname));
}

}  // namespace
