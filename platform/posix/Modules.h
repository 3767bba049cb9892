// Module identity on POSIX: a module is a loaded ELF object, named by the address at
// which its image starts, which is what GetModuleHandleA, VirtualQuery's AllocationBase
// and the resource calls all use.
#pragma once

#include "platform/posix/Win32Api.h"

namespace platform::posix {

// The module whose image holds `address`; null when no loaded object holds it.
HMODULE ModuleContaining(const void* address);

// The main program's module.
HMODULE MainProgramModule();

}  // namespace platform::posix
