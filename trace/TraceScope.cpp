#include "trace/TraceScope.h"

#include "platform/SystemApi.h"
#include "trace/TraceFlags.h"
#include "trace/TraceSink.h"

#include <cstdarg>
#include <cstdint>

namespace {

// wvsprintfA writes at most this many bytes, the terminator included.
constexpr int kMessageBufferSize = 1024;

LONGLONG ReadCounter() {
    LARGE_INTEGER reading;
    reading.QuadPart = 0;
    platform::sys.QueryPerformanceCounter(&reading);  // a failed reading is used as it stands
    return reading.QuadPart;
}

}  // namespace

TraceScope::TraceScope(const char* label) : label_(label) {
    if ((TraceFlags & TraceEntryExit) != 0) {
        Print("Entering");
    }
    // Read after the opening line so the duration leaves the trace's own output out.
    if ((TraceFlags & TraceDuration) != 0) {
        start_ = ReadCounter();
    }
}

TraceScope::~TraceScope() {
    if ((TraceFlags & TraceDuration) != 0) {
        end_ = ReadCounter();
        // Only the low 32 bits of the difference are printed, as a signed number.
        const auto difference = static_cast<std::uint64_t>(end_) - static_cast<std::uint64_t>(start_);
        const auto ticks = static_cast<std::int32_t>(static_cast<std::uint32_t>(difference));
        Print("Duration: %d ticks.", static_cast<int>(ticks));
    }
    if ((TraceFlags & TraceEntryExit) != 0) {
        Print("Exiting");
    }
}

void TraceScope::Print(const char* format, ...) {
    char message[kMessageBufferSize];
    message[0] = '\0';
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(message, format, arguments);
    va_end(arguments);
    message[kMessageBufferSize - 1] = '\0';

    // Label and message go in as arguments, so a percent sign in them is copied, not read.
    if ((TraceFlags & TraceThreadId) != 0) {
        TraceOutput("%s <0x%x>: %s", label_, GetCurrentThreadId(), message);
    } else {
        TraceOutput("%s: %s", label_, message);
    }
}
