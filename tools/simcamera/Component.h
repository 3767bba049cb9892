// One life of the simulated component: the scenario read when the manager was created,
// as the source of cameras every object that manager leads to reads, and the count of
// calls per operation from which faults fire.
#pragma once

#include "Scenario.h"
#include "cameraserver/Source.h"

#include <map>
#include <memory>
#include <string>

namespace sim {

using cameraserver::Outcome;

class Component final : public cameraserver::Source {
public:
    // Reads the scenario (SIMCAMERA_SCENARIO, else simcamera.ini beside the module).
    // Null, with the status to fail with, when it cannot be read or parsed; logged either way.
    static std::shared_ptr<Component> Load(HRESULT& status);
    // How the scenario decides an operation that comes before any manager exists (its
    // first call): read afresh and quietly; no fault when there is no usable scenario.
    static Outcome DecideBeforeLoad(const std::string& operation);

    // Counts this call of `operation` and decides it by the scenario's fault rules.
    Outcome Decide(const std::string& operation) override;

private:
    explicit Component(Scenario scenario);
    bool Unplugged() const;

    const std::map<std::string, FaultRule> faults_;
    const std::string unpluggedMarker_;
    std::map<std::string, int> calls_;
};

}  // namespace sim
