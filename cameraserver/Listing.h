// The cameras a component describes, as its objects hand them out: whatever the source
// (a scenario file, the system's USB devices), the objects read this.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <vector>

namespace cameraserver {

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

// UTF-16 code units as the system's BSTRs hold them.
using Units = std::basic_string<OLECHAR>;

// A text the component reports: UTF-16, or absent (a null BSTR).
struct ReportedText {
    bool absent = false;
    Units units;
};

struct CameraEntry {
    ReportedText model;
    ReportedText drive;
    ItemKind enumerated = ItemKind::Camera;  // what the enumerator yields
    ItemKind selected = ItemKind::Camera;    // what GetCameraAt hands out
    VARTYPE type = VT_DISPATCH;              // the VARIANT type tag of a handed-out object
};

struct Listing {
    std::vector<CameraEntry> cameras;
    bool supportsErrorInfo = true;
    bool pastEndUntouched = false;  // Next leaves the VARIANT as it was past the list's end
    LONG atOffset = 0;              // GetCameraAt(i) hands out the camera at i + atOffset
    bool countGiven = false;
    LONG count = 0;  // GetCameraCount's answer when countGiven, else the number of cameras
};

}  // namespace cameraserver
