// The heaps, both the C heap: the process heap of HeapAlloc, and the local heap that
// FormatMessageA's allocated output comes from.
#include "platform/Platform.h"

#include <cstdlib>

namespace {
// Any value but null: there is one heap, and callers only hand back what they were given.
char processHeap;
}  // namespace

HANDLE GetProcessHeap() { return &processHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (heap != &processHeap) {
        return nullptr;
    }
    const SIZE_T size = bytes != 0 ? bytes : 1;
    return (flags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, size) : std::malloc(size);
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID block) {
    if (heap != &processHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::free(block);
    return TRUE;
}

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
