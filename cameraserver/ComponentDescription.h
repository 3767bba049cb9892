// What a component built on this library is: its name in the log and in error information,
// and where the cameras of a new manager come from.  Each component defines ThisComponent()
// once, assigning each member by name.
#pragma once

#include "platform/Platform.h"

#include <memory>

#include "cameraserver/Source.h"

namespace cameraserver {

struct ComponentDescription {
    // The environment variable that names the component's call log (no log without it).
    const char* logVariable = nullptr;
    // The source named by the component's error information objects.
    const char* errorSource = nullptr;
    // The cameras for a new manager made by the server's own class factory; null, with the
    // status to fail creation with, when there are none to be had.
    std::shared_ptr<Source> (*openSource)(HRESULT& status) = nullptr;
};

const ComponentDescription& ThisComponent();

}  // namespace cameraserver
