// A test fixture around the simulated camera component (simcamera), registered for
// the test by its CTest entry, which also names the scenario file and the component's log
// (SIMCAMERA_SCENARIO, SIMCAMERA_LOG).  A test plays a scenario, runs, then reads the log:
// the calls the component received, the objects it created and destroyed.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/ComponentLog.h"

class SimulatedComponentTest : public ComponentLogTest {
protected:
    SimulatedComponentTest() : ComponentLogTest("SIMCAMERA_LOG") {}

    void SetUp() override {
        ComponentLogTest::SetUp();
        scenarioPath_ = Environment("SIMCAMERA_SCENARIO");
        ASSERT_FALSE(scenarioPath_.empty()) << "SIMCAMERA_SCENARIO comes from the test's CTest entry";
    }

    // Writes the scenario the component reads when its manager is created next.
    void Play(const std::string& scenario) const {
        std::ofstream file(scenarioPath_, std::ios::binary | std::ios::trunc);
        file << scenario;
        ASSERT_TRUE(file.good());
    }

    // A path in the scenario's folder, spelled as the program under test sees it.
    std::string Beside(const std::string& name) const {
        return scenarioPath_.substr(0, scenarioPath_.find_last_of("/\\") + 1) + name;
    }

private:
    std::string scenarioPath_;
};
