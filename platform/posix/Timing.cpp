// The high-resolution counter and the pause.
#include "platform/Platform.h"

#include <cerrno>
#include <ctime>

// Monotonic nanoseconds: the counter's frequency is 10^9 ticks per second.
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (counter == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    counter->QuadPart = static_cast<LONGLONG>(now.tv_sec) * 1000000000 + static_cast<LONGLONG>(now.tv_nsec);
    return TRUE;
}

// The whole pause, also when a signal interrupts it.
void Sleep(DWORD milliseconds) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(milliseconds / 1000);
    remaining.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}
