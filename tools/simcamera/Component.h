// One life of the simulated component: the scenario read when the manager was created,
// shared by every object that manager leads to, and the count of calls per operation
// from which faults fire.
#pragma once

#include "Scenario.h"

#include <map>
#include <memory>
#include <string>

namespace sim {

// What one call of an operation does.
struct Outcome {
    bool fails = false;         // return `status` and report the failure
    bool handsOutNull = false;  // succeed, handing out nothing
    bool errorInfo = false;     // report the failure with an error information object
    HRESULT status = S_OK;      // the status to return (a fault may give a success status)
};

class Component {
public:
    // Reads the scenario (SIMCAMERA_SCENARIO, else simcamera.ini beside the module).
    // Null, with the status to fail with, when it cannot be read or parsed; logged either way.
    static std::shared_ptr<Component> Load(HRESULT& status);
    // How the scenario decides an operation that comes before any manager exists (its
    // first call): read afresh and quietly; no fault when there is no usable scenario.
    static Outcome DecideBeforeLoad(const std::string& operation);

    const Scenario& Play() const { return scenario_; }
    LONG ReportedCount() const;

    // Counts this call of `operation` and decides it by the scenario's fault rules.
    Outcome Decide(const std::string& operation);

private:
    explicit Component(Scenario scenario) : scenario_(std::move(scenario)) {}
    bool Unplugged() const;

    Scenario scenario_;
    std::map<std::string, int> calls_;
};

// The module's directory (OS-specific).
std::string ModuleDirectory();

}  // namespace sim
