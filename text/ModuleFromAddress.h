// The module whose image holds an address: how the catalogue finds the module it was
// linked into, the program or a library, without being told.
#pragma once

#include "platform/Platform.h"

// The module whose image holds `address` (the base of its allocation); null when the
// address belongs to no mapped image.
HMODULE ModuleFromAddress(const void* address);
