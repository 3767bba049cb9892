// How the POSIX runtime finds a component plugin: the registry entry, the plugin's path on
// its first line, the failures of each step, and a plugin that reports success without an
// object.
#include "platform/Platform.h"

#include "support/RowName.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
// keeps the user's POSIXCOM_REGISTRY and HOME): the entry, the plugin and every folder above
// them must be root's and writable by no one else (a sticky folder such as /tmp aside, in
// which no one else can replace root's names).  Refused as an unreadable registration.
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
                  REGDB_E_READREGDB}),
    RowName<StrictRow>);

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
