// Where finished trace lines go: the sinks, their process-wide list, and the line stage
// that formats a whole line and hands it to every sink.
#pragma once

#include "platform/Platform.h"

#include <cstddef>

// A receiver of finished trace lines.
class TraceSink {
public:
    // `line` is NUL-terminated, ends with one line feed and is valid only during the call.
    virtual void WriteLine(const char* line) = 0;
    virtual ~TraceSink() = default;
};

// The ordered list of registered sinks.  It holds them without owning them, is created on
// first use and never destroyed.  It takes no lock: register and remove sinks while no
// other thread traces, and never from inside WriteLine.  Its entries are a plain array
// rather than a std::vector, whose growth would link the runtime's string-based
// exceptions into the release program for nothing.
class TraceSinkList {
public:
    // The list, or null while nothing has created it yet.
    static TraceSinkList* Existing() noexcept;
    // The list, created empty when it does not exist yet; null if it cannot be allocated.
    static TraceSinkList* Obtain() noexcept;

    TraceSinkList(const TraceSinkList&) = delete;
    TraceSinkList& operator=(const TraceSinkList&) = delete;

    // Appends `sink`, which must stay alive until it is removed; std::bad_alloc when the
    // list cannot grow.
    void Add(TraceSink* sink);
    // Removes the first entry of `sink`, if any.
    void Remove(const TraceSink* sink) noexcept;
    std::size_t Count() const noexcept { return count_; }
    // Hands `line` to every sink, first to last.
    void Deliver(const char* line) const;

private:
    TraceSinkList() = default;
    ~TraceSinkList() = default;

    TraceSink** sinks_ = nullptr;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

// Registration for tests and diagnostic builds; the utility itself registers no sink.
void TraceAddSink(TraceSink* sink);
void TraceRemoveSink(const TraceSink* sink) noexcept;

// Hands a finished line to every registered sink, creating the (empty) list on the first
// delivery.  A line is dropped when no sink is registered.
void TraceDeliver(const char* line);

// Formats one whole line (wvsprintfA conversions) into a zeroed 1024-byte buffer, appends
// the line feed and delivers it.  A line that would fill the buffer loses its last
// character to the line feed.
void TraceOutput(const char* format, ...);
