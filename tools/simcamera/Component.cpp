#include "Component.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "SimLog.h"

namespace sim {

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

LONG Component::ReportedCount() const {
    return scenario_.countGiven ? scenario_.count : static_cast<LONG>(scenario_.cameras.size());
}

bool Component::Unplugged() const {
    return !scenario_.unpluggedMarker.empty() && std::ifstream(scenario_.unpluggedMarker).good();
}

Outcome Component::Decide(const std::string& operation) {
    const int call = ++calls_[operation];
    Outcome outcome;
    const auto rule = scenario_.faults.find(operation);
    if (rule == scenario_.faults.end()) {
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
