// The calling thread's identifier, as the system's tools show it.
#include "platform/Platform.h"

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#else
#include <pthread.h>
#endif

DWORD GetCurrentThreadId() {
#if defined(__linux__)
    // The kernel's thread id: the one ps, top and /proc show, unique while the thread lives.
    return static_cast<DWORD>(syscall(SYS_gettid));
#else
    std::uint64_t id = 0;
    pthread_threadid_np(nullptr, &id);
    return static_cast<DWORD>(id);
#endif
}
