// The local heap that FormatMessageA's allocated output comes from: the C heap.
#include "platform/Platform.h"

#include <cstdlib>

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    const SIZE_T size = bytes != 0 ? bytes : 1;
    void* block = (flags & LMEM_ZEROINIT) != 0 ? std::calloc(1, size) : std::malloc(size);
    if (block == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return block;
}

HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
