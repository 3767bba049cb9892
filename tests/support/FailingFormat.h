// Counts FormatMessageA's calls while it lives and makes call `nth` (counted from 1) fail
// as the system's does, with `lastError`; nth = 0 only counts.
//
// Not a FailingCall: on x64 MinGW the va_list in FormatMessageA's signature carries an
// attribute that a template argument would drop, which the compiler reports.  So the entry
// is swapped by hand.  One instance at a time.
#pragma once

#include "platform/Platform.h"
#include "platform/SystemApi.h"

class FailingFormatting {
public:
    explicit FailingFormatting(int nth = 0, DWORD lastError = ERROR_NOT_ENOUGH_MEMORY) {
        state_ = State{nth, 0, lastError, platform::sys.FormatMessageA};
        platform::sys.FormatMessageA = &Format;
    }
    ~FailingFormatting() { platform::sys.FormatMessageA = state_.real; }
    FailingFormatting(const FailingFormatting&) = delete;
    FailingFormatting& operator=(const FailingFormatting&) = delete;

    int Calls() const { return state_.calls; }

private:
    struct State {
        int nth;
        int calls;
        DWORD lastError;
        decltype(platform::SystemApi::FormatMessageA) real;
    };

    static DWORD Format(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPSTR buffer, DWORD size,
                        va_list* arguments) {
        if (++state_.calls == state_.nth) {
            SetLastError(state_.lastError);
            return 0;
        }
        return state_.real(flags, source, id, language, buffer, size, arguments);
    }

    static inline State state_{};
};
