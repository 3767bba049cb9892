// A test fixture that reads the call log of a camera component built on cameraserver/
// (simcamera, usbcamera): the calls it received, the objects it created and
// destroyed.  The environment variable named at construction, set by the test's CTest
// entry, names the log file.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

class ComponentLogTest : public testing::Test {
protected:
    explicit ComponentLogTest(const char* logVariable) : logVariable_(logVariable) {}

    void SetUp() override {
        logPath_ = Environment(logVariable_);
        ASSERT_FALSE(logPath_.empty()) << logVariable_ << " comes from the test's CTest entry";
        ClearLog();
    }

    void ClearLog() const { std::ofstream truncate(logPath_, std::ios::trunc); }

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

    static std::string Environment(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }

private:
    const char* logVariable_;
    std::string logPath_;
};
