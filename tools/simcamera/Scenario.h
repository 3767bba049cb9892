// The scenario the simulated component plays: the connected cameras and the faults to
// inject.  The file format is described in README.md.
#pragma once

#include "cameraserver/Listing.h"

#include <map>
#include <string>
#include <vector>

namespace sim {

using cameraserver::CameraEntry;
using cameraserver::ItemKind;
using cameraserver::ReportedText;
using cameraserver::Units;

// When and how one operation fails.
struct FaultRule {
    bool handsOutNull = false;  // succeeds but hands out nothing
    HRESULT status = S_OK;      // otherwise fails with this status
    int from = 1;               // from this call on (counted from 1)
    bool unplugged = false;     // only while the unplugged marker exists
    bool errorInfo = false;     // with an error information object
};

// The cameras as the component's objects hand them out, and the faults to inject.
struct Scenario : cameraserver::Listing {
    std::map<std::string, FaultRule> faults;  // by operation name
    std::string unpluggedMarker;
};

// Parses a scenario file's text; on failure returns false with `error` naming the line.
bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);

}  // namespace sim
