// How the POSIX runtime finds a component plugin: the registry entry, the plugin's path on
// its first line, the failures of each step, and a plugin that reports success without an
// object.
#include "platform/Platform.h"

#include "support/RowName.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

// {FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}, the class the simulated component serves.
const CLSID kSimulatedClass = {0xFB803D0D, 0xEC2B, 0x11D2, {0xA4, 0xB8, 0x00, 0x10, 0x4B, 0xCA, 0xB4, 0xAB}};

class PluginRegistry : public testing::Test {
protected:
    void SetUp() override {
        const char* saved = std::getenv("POSIXCOM_REGISTRY");
        saved_ = saved != nullptr ? saved : "";
        directory_ = std::filesystem::temp_directory_path() /
                     ("posixcom-test-" + std::to_string(static_cast<long>(::getpid())));
        std::filesystem::create_directories(directory_);
        ::setenv("POSIXCOM_REGISTRY", directory_.c_str(), 1);
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        std::filesystem::remove_all(directory_);
        if (saved_.empty()) {
            ::unsetenv("POSIXCOM_REGISTRY");
        } else {
            ::setenv("POSIXCOM_REGISTRY", saved_.c_str(), 1);
        }
    }

    void Register(const std::string& firstLines) { std::ofstream(Entry()) << firstLines; }

    const std::filesystem::path& Registry() const { return directory_; }

    // The path of the class's entry, its folder made.
    std::filesystem::path Entry() const {
        const auto folder = directory_ / "CLSID" / "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}";
        std::filesystem::create_directories(folder);
        return folder / "InprocServer32";
    }

    static HRESULT GetFactory(DWORD context) {
        IUnknown* factory = nullptr;
        const HRESULT status =
            CoGetClassObject(kSimulatedClass, context, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        EXPECT_EQ(SUCCEEDED(status), factory != nullptr);
        if (factory != nullptr) {
            factory->Release();
        }
        return status;
    }

private:
    std::filesystem::path directory_;
    std::string saved_;
};

TEST_F(PluginRegistry, ClassWithoutEntryIsNotRegistered) {
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
}

TEST_F(PluginRegistry, RegisteredPluginIsLoadedFromItsFirstLine) {
    const char* plugin = std::getenv("SIMCAMERA_PLUGIN");
    ASSERT_NE(plugin, nullptr) << "SIMCAMERA_PLUGIN comes from the test's CTest entry";
    Register(std::string(plugin) + "\r\nignored second line\n");
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), S_OK);
    EXPECT_EQ(GetFactory(CLSCTX_LOCAL_SERVER), REGDB_E_CLASSNOTREG) << "plugins serve in-process only";
}

TEST_F(PluginRegistry, MissingPluginCannotBeLoaded) {
    Register("/nonexistent/simcamera.so\n");
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), CO_E_DLLNOTFOUND);
}

TEST_F(PluginRegistry, SharedObjectWithoutClassObjectIsRefused) {
    Dl_info libc{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&::getpid), &libc), 0);
    ASSERT_EQ(libc.dli_fname[0], '/');
    Register(std::string(libc.dli_fname) + "\n");
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), CO_E_ERRORINDLL);
}

// Entries that are no bounded regular file holding a path: each is refused as unreadable at
// once, and nothing is loaded.  The lookup runs in a child held to a few seconds and a
// bounded address space, so that one blocking on a FIFO or reading /dev/zero for ever fails
// its row instead of the machine.
struct UnreadableEntryRow {
    const char* name;
    void (*make)(const std::filesystem::path& entry, const std::string& plugin);
};

void PrintTo(const UnreadableEntryRow& row, std::ostream* out) { *out << row.name; }

class UnreadableEntry : public PluginRegistry, public testing::WithParamInterface<UnreadableEntryRow> {};

// The child's exit code: 0 when the lookup answered REGDB_E_READREGDB, 1 for another answer.
[[noreturn]] void LookUpBounded() {
    constexpr unsigned kSeconds = 10;
    constexpr rlim_t kHeadroom = rlim_t{1} << 30;
    alarm(kSeconds);
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + kHeadroom;
    const rlimit space{limit, limit};
    setrlimit(RLIMIT_AS, &space);
    IUnknown* factory = nullptr;
    const HRESULT status =
        CoGetClassObject(kSimulatedClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    _exit(status == REGDB_E_READREGDB && factory == nullptr ? 0 : 1);
}

TEST_P(UnreadableEntry, IsRefusedAtOnce) {
    const char* plugin = std::getenv("SIMCAMERA_PLUGIN");
    ASSERT_NE(plugin, nullptr);
    GetParam().make(Entry(), plugin);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        LookUpBounded();
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the lookup did not end by itself (signal "
                                   << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "answered other than REGDB_E_READREGDB";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, UnreadableEntry,
    testing::Values(
        UnreadableEntryRow{"fifo", [](const std::filesystem::path& entry,
                                      const std::string&) { ASSERT_EQ(mkfifo(entry.c_str(), 0600), 0); }},
        UnreadableEntryRow{"linkToDevZero",
                           [](const std::filesystem::path& entry, const std::string&) {
                               std::filesystem::create_symlink("/dev/zero", entry);
                           }},
        UnreadableEntryRow{"folder", [](const std::filesystem::path& entry,
                                        const std::string&) { std::filesystem::create_directory(entry); }},
        // 64 MiB without a line end, held as a hole: never read beyond the longest path.
        UnreadableEntryRow{"lineLongerThanAnyPath",
                           [](const std::filesystem::path& entry, const std::string& plugin) {
                               std::ofstream(entry) << plugin;
                               std::filesystem::resize_file(entry, std::uintmax_t{64} << 20);
                           }},
        UnreadableEntryRow{"zeroInsideThePath",
                           [](const std::filesystem::path& entry, const std::string& plugin) {
                               std::ofstream(entry) << plugin << std::string(1, '\0') << ".ignored\n";
                           }}),
    RowName<UnreadableEntryRow>);

// A run as root loads no plugin that another user could have put there (su without a dash
// keeps the user's POSIXCOM_REGISTRY and HOME): the entry, the plugin, every folder above
// them and every link on the way must be root's and writable by no one else (a sticky folder
// such as /tmp aside, in which no one else can replace root's names).  Refused as an
// unreadable registration.
struct StrictRow {
    const char* name;
    // Changes the registry at `registry` and the plugin copy at `plugin` (in a folder of its
    // own), and returns the path to register.
    std::string (*arrange)(const std::filesystem::path& registry, const std::filesystem::path& entry,
                           const std::filesystem::path& plugin);
    HRESULT expected;
};

void PrintTo(const StrictRow& row, std::ostream* out) { *out << row.name; }

constexpr uid_t kAnotherUser = 65534;  // nobody

void MakeLink(const std::filesystem::path& target, const std::filesystem::path& link, uid_t owner) {
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ(lchown(link.c_str(), owner, owner), 0);
}

void MakeFolder(const std::filesystem::path& folder, uid_t owner) {
    std::filesystem::create_directories(folder);
    EXPECT_EQ(chown(folder.c_str(), owner, owner), 0);
}

class RootLoading : public PluginRegistry, public testing::WithParamInterface<StrictRow> {
protected:
    // A copy of the simulated component's plugin, root's, in a folder of its own.
    std::filesystem::path PluginCopy() const {
        const char* plugin = std::getenv("SIMCAMERA_PLUGIN");
        EXPECT_NE(plugin, nullptr);
        const auto folder = Registry() / "plugins";
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(plugin, folder / "simcamera.so");
        return folder / "simcamera.so";
    }
};

TEST_P(RootLoading, LoadsOnlyWhatOnlyRootCanChange) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "runs as root only: other users' files are only refused to root";
    }
    const std::filesystem::path entry = Entry();
    const std::string registered = GetParam().arrange(Registry(), entry, PluginCopy());
    std::ofstream(entry) << registered << "\n";
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Places, RootLoading,
    testing::Values(
        StrictRow{"rootsOwn", [](const auto&, const auto&, const auto& plugin) { return plugin.string(); }, S_OK},
        StrictRow{"pluginInAStickyFolderAllMayWrite",
                  [](const auto&, const auto&, const auto& plugin) {
                      std::filesystem::permissions(plugin.parent_path(), std::filesystem::perms(01777));
                      return plugin.string();
                  },
                  S_OK},
        StrictRow{"registryOfAnotherUser",
                  [](const auto& registry, const auto&, const auto& plugin) {
                      EXPECT_EQ(chown(registry.c_str(), kAnotherUser, kAnotherUser), 0);
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"entryOthersMayWrite",
                  [](const auto&, const auto& entry, const auto& plugin) {
                      std::ofstream(entry) << "";
                      std::filesystem::permissions(entry, std::filesystem::perms(0666));
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"classFolderOthersMayWrite",
                  [](const auto&, const auto& entry, const auto& plugin) {
                      std::filesystem::permissions(entry.parent_path(), std::filesystem::perms(0777));
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"pluginOfAnotherUser",
                  [](const auto&, const auto&, const auto& plugin) {
                      EXPECT_EQ(chown(plugin.c_str(), kAnotherUser, kAnotherUser), 0);
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"pluginGroupMayWrite",
                  [](const auto&, const auto&, const auto& plugin) {
                      std::filesystem::permissions(plugin, std::filesystem::perms(0775));
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"pluginFolderOthersMayWrite",
                  [](const auto&, const auto&, const auto& plugin) {
                      std::filesystem::permissions(plugin.parent_path(), std::filesystem::perms(0777));
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"linkInAFolderOthersMayWrite",
                  [](const auto& registry, const auto&, const auto& plugin) {
                      const auto open = registry / "open";
                      std::filesystem::create_directory(open);
                      std::filesystem::permissions(open, std::filesystem::perms(0777));
                      std::filesystem::create_symlink(plugin, open / "simcamera.so");
                      return (open / "simcamera.so").string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"missingPluginWhereOthersMayWrite",
                  [](const auto& registry, const auto&, const auto&) {
                      const auto open = registry / "open";
                      std::filesystem::create_directory(open);
                      std::filesystem::permissions(open, std::filesystem::perms(01777));
                      return (open / "later" / "simcamera.so").string();
                  },
                  REGDB_E_READREGDB},
        // What a link names is judged, and the link itself: the plugin's folder, or the
        // registry, reached through another user's link to root's own is refused.
        StrictRow{"pluginFolderThroughAnotherUsersLink",
                  [](const auto& registry, const auto&, const auto& plugin) {
                      MakeFolder(registry / "home", kAnotherUser);
                      MakeLink(plugin.parent_path(), registry / "home" / "lnk", kAnotherUser);
                      return (registry / "home" / "lnk" / plugin.filename()).string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"anotherUsersLinkInRootsFolder",
                  [](const auto& registry, const auto&, const auto& plugin) {
                      MakeLink(plugin.parent_path(), registry / "lnk", kAnotherUser);
                      return (registry / "lnk" / plugin.filename()).string();
                  },
                  REGDB_E_READREGDB},
        StrictRow{"registryThroughAnotherUsersLink",
                  [](const auto& registry, const auto&, const auto& plugin) {
                      MakeFolder(registry / "home", kAnotherUser);
                      MakeLink(registry, registry / "home" / "registry", kAnotherUser);
                      ::setenv("POSIXCOM_REGISTRY", (registry / "home" / "registry").c_str(), 1);
                      return plugin.string();
                  },
                  REGDB_E_READREGDB},
        // As Debian's merged /usr makes /lib root's link to usr/lib.
        StrictRow{"pluginFolderThroughRootsLink",
                  [](const auto& registry, const auto&, const auto& plugin) {
                      MakeLink(plugin.parent_path().filename(), registry / "lib", 0);
                      return (registry / "lib" / plugin.filename()).string();
                  },
                  S_OK}),
    RowName<StrictRow>);

// Root loads the plugin through the folder it judged, and the plugin takes that folder for
// its own: the files a component keeps beside itself are read from there.
TEST_F(RootLoading, PluginFindsTheFolderItWasLoadedFrom) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "runs as root only: others load the registered path as it is";
    }
    const std::filesystem::path plugin = PluginCopy();
    MakeLink(plugin.parent_path().filename(), Registry() / "lib", 0);
    Register((Registry() / "lib" / plugin.filename()).string() + "\n");
    IUnknown* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(kSimulatedClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    Dl_info loaded{};
    ASSERT_NE(dladdr(*reinterpret_cast<void**>(factory), &loaded), 0) << "the factory's table lies in the plugin";
    factory->Release();
    const std::filesystem::path named = loaded.dli_fname;
    struct stat folder {};
    struct stat judged {};
    ASSERT_EQ(stat(named.parent_path().c_str(), &folder), 0) << named;
    ASSERT_EQ(stat(plugin.parent_path().c_str(), &judged), 0);
    EXPECT_TRUE(folder.st_dev == judged.st_dev && folder.st_ino == judged.st_ino)
        << named << " is not in " << plugin.parent_path();
}

// Without /proc root could only load the plugin by its name again: it loads none, and says
// why on standard error.
TEST_F(RootLoading, LoadsNothingWithoutProc) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "runs as root only: others load the registered path as it is";
    }
    Register(PluginCopy().string() + "\n");
    const std::filesystem::path said = Registry() / "stderr";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // /proc hidden under an empty file system, in a mount namespace of this child alone.
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "/proc", "tmpfs", 0, nullptr) != 0) {
            _exit(77);
        }
        const int out = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || dup2(out, STDERR_FILENO) < 0) {
            _exit(2);
        }
        IUnknown* factory = nullptr;
        const HRESULT status = CoGetClassObject(kSimulatedClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factory));
        _exit(status == REGDB_E_READREGDB && factory == nullptr ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "this host lets no test hide /proc in a mount namespace of its own";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "loaded, or answered other than REGDB_E_READREGDB";
    std::ifstream note(said);
    const std::string text((std::istreambuf_iterator<char>(note)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("/proc"), std::string::npos) << "said: " << text;
}

// Another user who keeps flipping two links of theirs (their registry or root's, their
// plugin folder or root's) while root runs the program again and again, as su without a
// dash keeps the user's POSIXCOM_REGISTRY: whatever the timing, root never loads that
// user's plugin.  Each load is a fresh process, as each run of the program is.
TEST_F(RootLoading, NeverLoadsAnotherUsersPluginWhileTheyFlipLinks) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "runs as root only: the links are another user's";
    }
    constexpr int kAttempts = 1500;
    constexpr auto kTimeBudget = std::chrono::seconds(20);
    const std::filesystem::path rootsPlugin = PluginCopy();
    std::ofstream(Entry()) << rootsPlugin.string() << "\n";
    // The other user's home: their registry, naming the plugin through their link, and
    // their plugin.
    const auto home = Registry() / "home";
    const auto usersClass = home / "registry" / "CLSID" / "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}";
    for (const auto& folder : {home, home / "registry", usersClass.parent_path(), usersClass, home / "plugins"}) {
        MakeFolder(folder, kAnotherUser);
    }
    const auto usersEntry = usersClass / "InprocServer32";
    std::ofstream(usersEntry) << (home / "plugin-link" / "simcamera.so").string() << "\n";
    const auto usersPlugin = home / "plugins" / "simcamera.so";
    std::filesystem::copy_file(rootsPlugin, usersPlugin);
    for (const auto& owned : {usersEntry, usersPlugin}) {
        ASSERT_EQ(chown(owned.c_str(), kAnotherUser, kAnotherUser), 0);
    }
    MakeLink(Registry(), home / "registry-link", kAnotherUser);
    MakeLink(rootsPlugin.parent_path(), home / "plugin-link", kAnotherUser);
    ::setenv("POSIXCOM_REGISTRY", (home / "registry-link").c_str(), 1);

    const pid_t flipper = fork();
    ASSERT_GE(flipper, 0);
    if (flipper == 0) {
        if (setgid(kAnotherUser) != 0 || setuid(kAnotherUser) != 0) {
            _exit(1);
        }
        const std::string links[2] = {(home / "registry-link").string(), (home / "plugin-link").string()};
        const std::string targets[2][2] = {{Registry().string(), (home / "registry").string()},
                                           {rootsPlugin.parent_path().string(), (home / "plugins").string()}};
        const std::string spare = (home / "spare").string();
        // Either link set to either target, in no order root could rely on.
        for (std::uint32_t state = 2463534242u;;) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const unsigned link = state & 1u;
            const unsigned target = (state >> 1) & 1u;
            if (symlink(targets[link][target].c_str(), spare.c_str()) == 0) {
                static_cast<void>(rename(spare.c_str(), links[link].c_str()));
            }
        }
    }
    // Ended on every way out of the test, a failed assertion included.
    struct Ended {
        pid_t pid;
        ~Ended() {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } const flipping{flipper};
    int usersLoads = 0;
    int rootsLoads = 0;
    int attempts = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeBudget;
    for (; attempts < kAttempts && usersLoads == 0 && std::chrono::steady_clock::now() < deadline; ++attempts) {
        const pid_t run = fork();
        ASSERT_GE(run, 0);
        if (run == 0) {
            IUnknown* factory = nullptr;
            const HRESULT status = CoGetClassObject(kSimulatedClass, CLSCTX_INPROC_SERVER, nullptr,
                                                    IID_IClassFactory, reinterpret_cast<void**>(&factory));
            // Loaded already, whatever name it was loaded by, or not at all.
            const bool users = dlopen(usersPlugin.c_str(), RTLD_NOW | RTLD_NOLOAD) != nullptr;
            _exit(users ? 2 : status == S_OK ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(run, &status, 0), run);
        usersLoads += WIFEXITED(status) && WEXITSTATUS(status) == 2 ? 1 : 0;
        rootsLoads += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 1 : 0;
    }
    ASSERT_EQ(waitpid(flipper, nullptr, WNOHANG), 0) << "the other user's links stopped flipping";
    EXPECT_EQ(usersLoads, 0) << "the other user's plugin was loaded as root, after " << attempts << " runs";
    std::printf("%d runs as root while the links flipped: %d loaded root's plugin, %d the other user's\n", attempts,
                rootsLoads, usersLoads);
}

// A run as the owner of its registry and plugin loads them as before: the rule is root's.
TEST_F(PluginRegistry, OwnersOwnPluginLoadsForItsOwner) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to make another user's registry and run as that user";
    }
    const char* plugin = std::getenv("SIMCAMERA_PLUGIN");
    ASSERT_NE(plugin, nullptr);
    const auto copy = Registry() / "simcamera.so";
    std::filesystem::copy_file(plugin, copy);
    Register(copy.string() + "\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Registry())) {
        ASSERT_EQ(lchown(entry.path().c_str(), kAnotherUser, kAnotherUser), 0);
    }
    ASSERT_EQ(chown(Registry().c_str(), kAnotherUser, kAnotherUser), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const bool becameOwner = setgid(kAnotherUser) == 0 && setuid(kAnotherUser) == 0;
        IUnknown* factory = nullptr;
        const HRESULT status = CoGetClassObject(kSimulatedClass, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                                reinterpret_cast<void**>(&factory));
        _exit(becameOwner && status == S_OK ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the owner's own plugin did not load";
}

// Where the runtime looks: only absolute plugin paths, and no registry at all without
// POSIXCOM_REGISTRY and an absolute HOME.  Each row would load the plugin from the working
// folder if the runtime took a relative name.
class PluginSearch : public PluginRegistry {
protected:
    void SetUp() override {
        PluginRegistry::SetUp();
        plugin_ = Plugin();
        saved_ = std::filesystem::current_path();
        for (const char* name : {"HOME", "POSIXCOM_REGISTRY"}) {
            const char* value = std::getenv(name);
            environment_.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
        }
    }
    void TearDown() override {
        std::filesystem::current_path(saved_);
        for (const auto& [name, value] : environment_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
        PluginRegistry::TearDown();
    }

    static std::string Plugin() {
        const char* plugin = std::getenv("SIMCAMERA_PLUGIN");
        return plugin != nullptr ? plugin : "";
    }

    std::filesystem::path plugin_;

private:
    std::filesystem::path saved_;
    std::vector<std::pair<std::string, std::optional<std::string>>> environment_;
};

TEST_F(PluginSearch, RelativePluginPathIsNotLoaded) {
    ASSERT_FALSE(plugin_.empty());
    std::filesystem::current_path(plugin_.parent_path());
    Register("./" + plugin_.filename().string() + "\n");
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), CO_E_DLLNOTFOUND);
}

TEST_F(PluginSearch, RelativeHomeNamesNoRegistry) {
    ASSERT_FALSE(plugin_.empty());
    const auto folder = std::filesystem::temp_directory_path() / ("posixcom-home-" + std::to_string(::getpid()));
    const auto entry = folder / "home" / ".posixcom" / "CLSID" / "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}";
    std::filesystem::create_directories(entry);
    std::ofstream(entry / "InprocServer32") << plugin_.string() << "\n";
    std::filesystem::current_path(folder);
    ::unsetenv("POSIXCOM_REGISTRY");
    ::setenv("HOME", "home", 1);
    const HRESULT status = GetFactory(CLSCTX_INPROC_SERVER);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(status, REGDB_E_CLASSNOTREG);
}

// A plugin that reports success but hands out nothing: activation fails, and no null
// pointer is called.
struct NullResultRow {
    const char* name;
    const char* fault;
    HRESULT status;
};

void PrintTo(const NullResultRow& row, std::ostream* out) { *out << row.name; }

class PluginNullResult : public PluginRegistry, public testing::WithParamInterface<NullResultRow> {
protected:
    void SetUp() override {
        PluginRegistry::SetUp();
        scenario_ = std::filesystem::temp_directory_path() / ("posixcom-scenario-" + std::to_string(::getpid()));
        const char* saved = std::getenv("SIMCAMERA_SCENARIO");
        savedScenario_ = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
        ::setenv("SIMCAMERA_SCENARIO", scenario_.c_str(), 1);
    }
    void TearDown() override {
        if (savedScenario_) {
            ::setenv("SIMCAMERA_SCENARIO", savedScenario_->c_str(), 1);
        } else {
            ::unsetenv("SIMCAMERA_SCENARIO");
        }
        std::filesystem::remove(scenario_);
        PluginRegistry::TearDown();
    }

    std::filesystem::path scenario_;

private:
    std::optional<std::string> savedScenario_;
};

TEST_P(PluginNullResult, IsAFailure) {
    const char* plugin = std::getenv("SIMCAMERA_PLUGIN");
    ASSERT_NE(plugin, nullptr);
    Register(std::string(plugin) + "\n");
    std::ofstream(scenario_) << "[faults]\n" << GetParam().fault << "\n[camera]\n";

    IUnknown* object = nullptr;
    const HRESULT status = CoCreateInstance(kSimulatedClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                            reinterpret_cast<void**>(&object));
    EXPECT_EQ(status, GetParam().status);
    EXPECT_EQ(object, nullptr);
    if (object != nullptr) {
        object->Release();
    }
}

INSTANTIATE_TEST_SUITE_P(Plugins, PluginNullResult,
                         testing::Values(NullResultRow{"noClassObject", "DllGetClassObject = null", CO_E_ERRORINDLL},
                                         NullResultRow{"noInstance", "CreateInstance = null", E_UNEXPECTED}),
                         RowName<NullResultRow>);

}  // namespace
