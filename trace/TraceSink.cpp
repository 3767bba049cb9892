#include "trace/TraceSink.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <new>

namespace {

// Zero-initialized data; the list it points to lives until the process ends.
TraceSinkList* sinkList = nullptr;

// wvsprintfA writes at most this many bytes, the terminator included.
constexpr std::size_t kLineBufferSize = 1024;

// Entries the sink list makes room for at first; it doubles when full.
constexpr std::size_t kFirstCapacity = 4;

}  // namespace

TraceSinkList* TraceSinkList::Existing() noexcept { return sinkList; }

TraceSinkList* TraceSinkList::Obtain() noexcept {
    if (sinkList == nullptr) {
        sinkList = new (std::nothrow) TraceSinkList();
    }
    return sinkList;
}

void TraceSinkList::Add(TraceSink* sink) {
    if (count_ == capacity_) {
        const std::size_t capacity = capacity_ == 0 ? kFirstCapacity : capacity_ * 2;
        TraceSink** grown = new (std::nothrow) TraceSink*[capacity];
        if (grown == nullptr) {
            throw std::bad_alloc();
        }
        std::copy(sinks_, sinks_ + count_, grown);
        delete[] sinks_;
        sinks_ = grown;
        capacity_ = capacity;
    }
    sinks_[count_++] = sink;
}

void TraceSinkList::Remove(const TraceSink* sink) noexcept {
    TraceSink** const end = sinks_ + count_;
    TraceSink** const found = std::find(sinks_, end, sink);
    if (found != end) {
        std::copy(found + 1, end, found);
        --count_;
    }
}

void TraceSinkList::Deliver(const char* line) const {
    for (std::size_t i = 0; i < count_; ++i) {
        sinks_[i]->WriteLine(line);
    }
}

void TraceAddSink(TraceSink* sink) {
    TraceSinkList* list = TraceSinkList::Obtain();
    if (list == nullptr) {
        throw std::bad_alloc();
    }
    list->Add(sink);
}

void TraceRemoveSink(const TraceSink* sink) noexcept {
    if (TraceSinkList* list = TraceSinkList::Existing()) {
        list->Remove(sink);
    }
}

void TraceDeliver(const char* line) {
    // Without memory for the list there is nowhere to deliver: the line is dropped, and
    // the next delivery tries again.
    const TraceSinkList* list = TraceSinkList::Obtain();
    if (list == nullptr || list->Count() == 0) {
        return;
    }
    list->Deliver(line);
}

void TraceOutput(const char* format, ...) {
    char line[kLineBufferSize] = {};
    va_list arguments;
    va_start(arguments, format);
    wvsprintfA(line, format, arguments);
    va_end(arguments);
    // Whatever the formatter leaves at its limit, the line stays terminated inside the
    // buffer, and a full line gives up its last character so that the line feed fits.
    line[kLineBufferSize - 1] = '\0';
    const std::size_t length = std::min(std::strlen(line), kLineBufferSize - 2);
    line[length] = '\n';
    line[length + 1] = '\0';
    TraceDeliver(line);
}
