// A test fixture around the simulated camera component (tools/simcamera), registered for
// the test by its CTest entry, which also names the scenario file and the component's log
// (SIMCAMERA_SCENARIO, SIMCAMERA_LOG).  A test plays a scenario, runs, then reads the log:
// the calls the component received, the objects it created and destroyed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

class SimulatedComponentTest : public testing::Test {
protected:
    void SetUp() override {
        scenarioPath_ = Environment("SIMCAMERA_SCENARIO");
        logPath_ = Environment("SIMCAMERA_LOG");
        ASSERT_FALSE(scenarioPath_.empty() || logPath_.empty())
            << "SIMCAMERA_SCENARIO and SIMCAMERA_LOG come from the test's CTest entry";
        ClearLog();
    }

    // Writes the scenario the component reads when its manager is created next.
    void Play(const std::string& scenario) const {
        std::ofstream file(scenarioPath_, std::ios::binary | std::ios::trunc);
        file << scenario;
        ASSERT_TRUE(file.good());
    }

    void ClearLog() const { std::ofstream truncate(logPath_, std::ios::trunc); }

    // A path in the scenario's folder, spelled as the program under test sees it.
    std::string Beside(const std::string& name) const {
        return scenarioPath_.substr(0, scenarioPath_.find_last_of("/\\") + 1) + name;
    }

    std::vector<std::string> LogLines() const {
        std::ifstream file(logPath_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // The component operations called, as "Kind Operation" ("Collection GetCameraCount").
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        for (const std::string& line : LogLines()) {
            std::istringstream words(line);
            std::string event, object, operation;
            words >> event >> object >> operation;
            if (event == "call" && object.find('#') != std::string::npos) {
                calls.push_back(object.substr(0, object.find('#')) + " " + operation);
            }
        }
        return calls;
    }

    // Every object the component created was destroyed; names the ones that were not.
    void ExpectAllReleased() const {
        std::set<std::string> alive;
        for (const std::string& line : LogLines()) {
            std::istringstream words(line);
            std::string event, object;
            words >> event >> object;
            if (event == "create") {
                alive.insert(object);
            } else if (event == "destroy") {
                alive.erase(object);
            }
        }
        std::string names;
        for (const std::string& name : alive) {
            names += " " + name;
        }
        EXPECT_TRUE(alive.empty()) << "still alive:" << names;
    }

    bool Logged(const std::string& text) const {
        for (const std::string& line : LogLines()) {
            if (line.find(text) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

private:
    static std::string Environment(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }

    std::string scenarioPath_;
    std::string logPath_;
};
