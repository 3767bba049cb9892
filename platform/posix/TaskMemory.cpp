// The COM task allocator: the C heap.  A request for 0 bytes still yields a distinct
// block, as the Windows allocator does.
#include "platform/Platform.h"

#include <cstdlib>

LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size != 0 ? size : 1); }

void CoTaskMemFree(LPVOID p) { std::free(p); }
