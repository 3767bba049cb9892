// Where a component's cameras come from.  One source serves one life of the component:
// it is opened when the class factory creates a manager and shared by every object that
// manager leads to.  The simulated camera plays a scenario with faults; the Linux camera
// component reads the system.
#pragma once

#include "Listing.h"

#include <memory>
#include <string>

namespace cameraserver {

// What one call of an operation does.
struct Outcome {
    bool fails = false;         // return `status` and report the failure
    bool handsOutNull = false;  // succeed, handing out nothing
    bool errorInfo = false;     // report the failure with an error information object
    HRESULT status = S_OK;      // the status to return (a fault may give a success status)
};

class Source {
public:
    virtual ~Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    const Listing& Cameras() const { return listing_; }
    LONG ReportedCount() const;

    // Decides this call of `operation`: how it fails, if it does.
    virtual Outcome Decide(const std::string& operation) = 0;
    // Decides an operation of the camera at `position`; by default as any other.
    virtual Outcome DecideForCamera(const std::string& operation, std::size_t position);
    // The drive path of the camera at `position` as it is reported now.
    virtual ReportedText DrivePath(std::size_t position);

protected:
    explicit Source(Listing listing) : listing_(std::move(listing)) {}

    Listing listing_;
};

// Supplied by each component built on this library.

// The source for a new manager; null, with the status to fail creation with, when there
// is none.
std::shared_ptr<Source> OpenSource(HRESULT& status);
// How an operation that comes before any manager exists (DllGetClassObject) goes.
Outcome DecideBeforeOpen(const std::string& operation);
// The environment variable that names the component's call log.
extern const char* const kLogVariable;
// The source named by the component's error information objects.
extern const char* const kErrorSource;

// The module's directory (OS-specific, in this library).
std::string ModuleDirectory();

}  // namespace cameraserver
