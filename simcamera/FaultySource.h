// The simulated camera's source: the scenario's cameras (a plain ListedCameras) decorated
// with the scenario's faults and oddities, which the simulated objects (SimObjects.h) ask
// before doing their work.  One per life of the component, read afresh when the class
// factory creates a manager; it counts the calls per operation from which faults fire.
#pragma once

#include "simcamera/ListedCameras.h"
#include "simcamera/Scenario.h"

#include <map>
#include <memory>
#include <string>

namespace sim {

// What one call of an operation does.
struct Fault {
    bool fails = false;         // return `status` and report the failure
    bool handsOutNull = false;  // succeed, handing out nothing
    bool errorInfo = false;     // report the failure with an error information object
    HRESULT status = S_OK;      // the status to return (a fault may give a success status)
};

class FaultySource final : public cameraserver::Source {
public:
    // Reads the scenario (SIMCAMERA_SCENARIO, else simcamera.ini beside the module).
    // Null, with the status to fail with, when it cannot be read or parsed; logged either way.
    static std::shared_ptr<FaultySource> Load(HRESULT& status);
    // How the scenario decides an operation that comes before any manager exists (its
    // first call): read afresh and quietly; no fault when there is no usable scenario.
    static Fault DecideBeforeLoad(const std::string& operation);

    std::size_t Count() override { return cameras_.Count(); }
    ReportedText ModelName(std::size_t position) override { return cameras_.ModelName(position); }
    ReportedText DrivePath(std::size_t position) override { return cameras_.DrivePath(position); }
    bool Present(std::size_t position) override { return cameras_.Present(position); }

    // Counts this call of `operation` and decides it by the scenario's fault rules.
    Fault Decide(const std::string& operation);

    const CameraEntry& Camera(std::size_t position) const { return cameras_.At(position); }
    // What GetCameraCount reports.
    LONG ReportedCount();
    bool SupportsErrorInfo() const { return settings_.supportsErrorInfo; }
    bool PastEndUntouched() const { return settings_.pastEndUntouched; }
    LONG AtOffset() const { return settings_.atOffset; }

private:
    explicit FaultySource(Scenario scenario);
    bool Unplugged() const;

    ListedCameras cameras_;
    const Scenario settings_;  // without its cameras, which cameras_ holds
    std::map<std::string, int> calls_;
};

}  // namespace sim
