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
}  // namespace

std::shared_ptr<Component> Component::Load(HRESULT& status) {
    const std::string path = ScenarioPath();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Log("error scenario=" + path + " cannot be read");
        status = kScenarioMissing;
        return nullptr;
    }
    std::ostringstream text;
    text << file.rdbuf();
    Scenario scenario;
    std::string error;
    if (!ParseScenario(text.str(), scenario, error)) {
        Log("error scenario=" + path + " " + error);
        status = E_INVALIDARG;
        return nullptr;
    }
    Log("load scenario=" + path + " cameras=" + std::to_string(scenario.cameras.size()));
    status = S_OK;
    return std::shared_ptr<Component>(new Component(std::move(scenario)));
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
