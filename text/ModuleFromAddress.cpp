// The module that holds an address: the allocation its image was mapped as.
#include "text/ModuleFromAddress.h"

HMODULE ModuleFromAddress(const void* address) {
    MEMORY_BASIC_INFORMATION info{};  // a failed query leaves the base null
    VirtualQuery(address, &info, sizeof info);
    return static_cast<HMODULE>(info.AllocationBase);
}
