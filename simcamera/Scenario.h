// The scenario the simulated component plays: the connected cameras, what their places in
// the list hand out, and the faults to inject.  The file format is described in README.md.
#pragma once

#include "cameraserver/ReportedText.h"

#include <map>
#include <string>
#include <vector>

namespace sim {

using cameraserver::ReportedText;
using cameraserver::Units;

// What a camera's place in the list hands out.
enum class ItemKind {
    Camera,     // a camera object
    NoCamera,   // an object that does not answer for the camera interface
    Empty,      // a VARIANT of type VT_EMPTY with a null pointer
    Text,       // VT_BSTR: the camera's model name as a string
    Number,     // VT_I4: a number that is no valid address
    Reference,  // VT_BYREF|VT_DISPATCH: a reference to a null object pointer
    Untouched,  // the VARIANT left as the caller handed it in (GetCameraAt only)
};

struct CameraEntry {
    ReportedText model;
    ReportedText drive;
    ItemKind enumerated = ItemKind::Camera;  // what the enumerator yields
    ItemKind selected = ItemKind::Camera;    // what GetCameraAt hands out
    VARTYPE type = VT_DISPATCH;              // the VARIANT type tag of a handed-out object
};

// When and how one operation fails.
struct FaultRule {
    bool handsOutNull = false;  // succeeds but hands out nothing
    HRESULT status = S_OK;      // otherwise fails with this status (a success status: does its work and returns it)
    int from = 1;               // from this call on (counted from 1)
    bool unplugged = false;     // only while the unplugged marker exists
    bool errorInfo = false;     // with an error information object
};

struct Scenario {
    std::vector<CameraEntry> cameras;
    bool supportsErrorInfo = true;
    bool pastEndUntouched = false;  // Next leaves the VARIANT as it was past the list's end
    LONG atOffset = 0;              // GetCameraAt(i) hands out the camera at i + atOffset
    bool countGiven = false;
    LONG count = 0;  // GetCameraCount's answer when countGiven, else the number of cameras
    std::map<std::string, FaultRule> faults;  // by operation name
    std::string unpluggedMarker;
};

// Parses a scenario file's text; on failure returns false with `error` naming the line.
bool ParseScenario(const std::string& text, Scenario& scenario, std::string& error);

}  // namespace sim
