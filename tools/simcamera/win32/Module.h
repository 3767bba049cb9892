// The DLL's own module handle.
#pragma once

#include "platform/Platform.h"

namespace sim {

HMODULE ThisModule();

}  // namespace sim
