#include "simcamera/FaultySource.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cameraserver/ModulePath.h"
#include "cameraserver/ServerLog.h"

namespace sim {

using cameraserver::Log;

namespace {
// ERROR_FILE_NOT_FOUND as a status.
const HRESULT kScenarioMissing = static_cast<HRESULT>(0x80070002u);

std::string ScenarioPath() {
    const char* configured = std::getenv("SIMCAMERA_SCENARIO");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    return cameraserver::ModuleDirectory() + "/simcamera.ini";
}

// The scenario at `path`; on failure the status to fail with and the reason.
HRESULT ReadScenario(const std::string& path, Scenario& scenario, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot be read";
        return kScenarioMissing;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseScenario(text.str(), scenario, error) ? S_OK : E_INVALIDARG;
}

// The scenario's settings and faults; its cameras go to the plain source.
Scenario WithoutCameras(Scenario scenario) {
    scenario.cameras.clear();
    return scenario;
}

}  // namespace

std::shared_ptr<FaultySource> FaultySource::Load(HRESULT& status) {
    const std::string path = ScenarioPath();
    Scenario scenario;
    std::string error;
    status = ReadScenario(path, scenario, error);
    if (FAILED(status)) {
        Log("error scenario=" + path + " " + error);
        return nullptr;
    }
    Log("load scenario=" + path + " cameras=" + std::to_string(scenario.cameras.size()));
    return std::shared_ptr<FaultySource>(new FaultySource(std::move(scenario)));
}

Fault FaultySource::DecideBeforeLoad(const std::string& operation) {
    Scenario scenario;
    std::string error;
    if (FAILED(ReadScenario(ScenarioPath(), scenario, error))) {
        return Fault();
    }
    return FaultySource(std::move(scenario)).Decide(operation);
}

FaultySource::FaultySource(Scenario scenario)
    : cameras_(scenario.cameras), settings_(WithoutCameras(std::move(scenario))) {}

bool FaultySource::Unplugged() const {
    return !settings_.unpluggedMarker.empty() && std::ifstream(settings_.unpluggedMarker).good();
}

LONG FaultySource::ReportedCount() {
    return settings_.countGiven ? settings_.count : static_cast<LONG>(cameras_.Count());
}

Fault FaultySource::Decide(const std::string& operation) {
    const int call = ++calls_[operation];
    Fault fault;
    const auto rule = settings_.faults.find(operation);
    if (rule == settings_.faults.end()) {
        return fault;
    }
    const FaultRule& chosen = rule->second;
    if (call < chosen.from || (chosen.unplugged && !Unplugged())) {
        return fault;
    }
    fault.handsOutNull = chosen.handsOutNull;
    fault.status = chosen.status;
    fault.fails = FAILED(chosen.status);
    fault.errorInfo = fault.fails && chosen.errorInfo;
    return fault;
}

}  // namespace sim
