// Test helpers for the trace: a sink that keeps every line it receives while it lives, and
// the flags word set for the length of one scope.
#pragma once

#include "trace/TraceFlags.h"
#include "trace/TraceSink.h"

#include <string>
#include <vector>

class CapturingTraceSink : public TraceSink {
public:
    CapturingTraceSink() { TraceAddSink(this); }
    ~CapturingTraceSink() override { TraceRemoveSink(this); }
    CapturingTraceSink(const CapturingTraceSink&) = delete;
    CapturingTraceSink& operator=(const CapturingTraceSink&) = delete;

    void WriteLine(const char* line) override { lines.emplace_back(line); }

    std::vector<std::string> lines;
};

class ScopedTraceFlags {
public:
    explicit ScopedTraceFlags(DWORD flags) : saved_(SetTraceFlags(flags)) {}
    ~ScopedTraceFlags() { SetTraceFlags(saved_); }
    ScopedTraceFlags(const ScopedTraceFlags&) = delete;
    ScopedTraceFlags& operator=(const ScopedTraceFlags&) = delete;

private:
    DWORD saved_;
};
