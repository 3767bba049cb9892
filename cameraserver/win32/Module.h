// The DLL's own module handle.
#pragma once

#include "platform/Platform.h"

namespace cameraserver {

HMODULE ThisModule();

}  // namespace cameraserver
