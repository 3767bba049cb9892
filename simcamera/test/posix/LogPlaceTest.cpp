// The component's log is named by the environment, so its name may hold anything: a FIFO
// that no one reads, or a link to a file the log must not write.  The component neither
// waits on the one nor writes through the other.
#include "cameraserver/ServerInterfaces.h"
#include "com/InterfaceRef.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/FileContent.h"
#include "support/SimulatedComponent.h"

namespace {

class LogPlace : public SimulatedComponentTest {
protected:
    void SetUp() override {
        SimulatedComponentTest::SetUp();
        Play("[camera]\nmodel = X\n");
        saved_ = Environment("SIMCAMERA_LOG");
        place_ = Beside("log-place");
        std::filesystem::remove_all(place_);
    }
    void TearDown() override {
        setenv("SIMCAMERA_LOG", saved_.c_str(), 1);
        std::filesystem::remove_all(place_);
        std::filesystem::remove(place_ + ".target");
    }

    // Activates the component and lets it go, in a child process given `seconds`: true when
    // the child got through in time.
    static bool ActivatesWithin(int seconds) {
        const pid_t child = fork();
        if (child == 0) {
            CoInitialize(nullptr);
            InterfaceRef<CameraManager> manager;
            const HRESULT status = CoCreateInstance(cameraserver::kClassId, nullptr, CLSCTX_INPROC_SERVER,
                                                    cameraserver::kManagerId, reinterpret_cast<void**>(manager.Put()));
            manager.Reset();
            _exit(status == S_OK ? 0 : 1);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string saved_;
    std::string place_;
};

TEST_F(LogPlace, FifoNobodyReadsIsNotWaitedOn) {
    ASSERT_EQ(mkfifo(place_.c_str(), 0600), 0);
    setenv("SIMCAMERA_LOG", place_.c_str(), 1);
    EXPECT_TRUE(ActivatesWithin(10)) << "the component hung on its log";
}

TEST_F(LogPlace, LinkIsNotWrittenThrough) {
    std::ofstream(place_ + ".target") << "not the log's\n";
    std::filesystem::create_symlink(place_ + ".target", place_);
    setenv("SIMCAMERA_LOG", place_.c_str(), 1);
    EXPECT_TRUE(ActivatesWithin(10));
    EXPECT_EQ(FileContent(place_ + ".target"), "not the log's\n");
    EXPECT_TRUE(std::filesystem::is_symlink(place_));
}

}  // namespace
