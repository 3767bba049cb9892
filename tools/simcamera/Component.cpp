#include "Component.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cameraserver/ServerLog.h"

namespace cameraserver {

const char* const kLogVariable = "SIMCAMERA_LOG";
const char* const kErrorSource = "SimCamera.CameraAccessComponent";

std::shared_ptr<Source> OpenSource(HRESULT& status) {
    return sim::Component::Load(status);
}

Outcome DecideBeforeOpen(const std::string& operation) {
    return sim::Component::DecideBeforeLoad(operation);
}

}  // namespace cameraserver

namespace sim {

using cameraserver::Log;
using cameraserver::ModuleDirectory;

namespace {
// ERROR_FILE_NOT_FOUND as a status.
const HRESULT kScenarioMissing = static_cast<HRESULT>(0x80070002u);

std::string ScenarioPath() {
    const char* configured = std::getenv("SIMCAMERA_SCENARIO");
    if (configured != nullptr && *configured != '\0') {
        return configured;
    }
    return ModuleDirectory() + "/simcamera.ini";
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

}  // namespace

std::shared_ptr<Component> Component::Load(HRESULT& status) {
    const std::string path = ScenarioPath();
    Scenario scenario;
    std::string error;
    status = ReadScenario(path, scenario, error);
    if (FAILED(status)) {
        Log("error scenario=" + path + " " + error);
        return nullptr;
    }
    Log("load scenario=" + path + " cameras=" + std::to_string(scenario.cameras.size()));
    return std::shared_ptr<Component>(new Component(std::move(scenario)));
}

Outcome Component::DecideBeforeLoad(const std::string& operation) {
    Scenario scenario;
    std::string error;
    if (FAILED(ReadScenario(ScenarioPath(), scenario, error))) {
        return Outcome();
    }
    return Component(std::move(scenario)).Decide(operation);
}

Component::Component(Scenario scenario)
    : Source(std::move(static_cast<cameraserver::Listing&>(scenario))),
      faults_(std::move(scenario.faults)),
      unpluggedMarker_(std::move(scenario.unpluggedMarker)) {}

bool Component::Unplugged() const {
    return !unpluggedMarker_.empty() && std::ifstream(unpluggedMarker_).good();
}

Outcome Component::Decide(const std::string& operation) {
    const int call = ++calls_[operation];
    Outcome outcome;
    const auto rule = faults_.find(operation);
    if (rule == faults_.end()) {
        return outcome;
    }
    const FaultRule& fault = rule->second;
    if (call < fault.from || (fault.unplugged && !Unplugged())) {
        return outcome;
    }
    outcome.handsOutNull = fault.handsOutNull;
    outcome.status = fault.status;
    outcome.fails = FAILED(fault.status);
    outcome.errorInfo = outcome.fails && fault.errorInfo;
    return outcome;
}

}  // namespace sim
