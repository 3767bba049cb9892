// Where a component's cameras come from: how many are connected, each one's model name and
// drive path, and whether it is still connected.  One source serves one life of the
// component: it is opened when the class factory creates a manager and shared by every
// object that manager leads to.  The components differ only in their source: the Linux one
// reads sysfs and the mount table, the Windows one SetupAPI and the volumes, the simulated
// camera a scenario file.
#pragma once

#include "cameraserver/ReportedText.h"

#include <cstddef>

namespace cameraserver {

class Source {
public:
    virtual ~Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // The number of cameras; positions count from 0 in the order the enumerator yields them.
    virtual std::size_t Count() = 0;
    virtual ReportedText ModelName(std::size_t position) = 0;
    // Where the camera's card is reached.  Asked only when a caller wants it: a source may
    // wait a while here for a card that is not mounted yet.
    virtual ReportedText DrivePath(std::size_t position) = 0;
    // False once the camera at `position` has gone (unplugged, switched off): its operations
    // fail from then on.
    virtual bool Present(std::size_t position) = 0;

protected:
    Source() = default;
};

}  // namespace cameraserver
