// How the POSIX runtime finds a component plugin: the registry entry, the plugin's path on
// its first line, and the failures of each step.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

    void Register(const std::string& firstLines) {
        const auto entry = directory_ / "CLSID" / "{FB803D0D-EC2B-11D2-A4B8-00104BCAB4AB}";
        std::filesystem::create_directories(entry);
        std::ofstream(entry / "InprocServer32") << firstLines;
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
    Register("libm.so.6\n");
    EXPECT_EQ(GetFactory(CLSCTX_INPROC_SERVER), CO_E_ERRORINDLL);
}

}  // namespace
