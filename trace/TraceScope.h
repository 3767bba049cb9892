// A scoped trace: announces entry and exit of a block, measures its duration in raw
// counter ticks and carries its progress lines, each under the scope's label and each
// switched by its bit of TraceFlags.
#pragma once

#include "platform/Platform.h"

class TraceScope {
public:
    // `label` is not copied: it must outlive the scope (pass a string literal).
    explicit TraceScope(const char* label);
    virtual ~TraceScope();

    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    // Formats a message (wvsprintfA conversions, at most 1023 characters) and emits it as
    // "label: message", with the thread identifier when TraceThreadId is set.  It tests no
    // other bit: the caller tests the bit that governs its line before building arguments.
    void Print(const char* format, ...);

private:
    const char* label_;
    LONGLONG start_ = 0;
    LONGLONG end_ = 0;
};
