// Observers of the allocators, for the string tests: blocks of the ordinary heap still
// alive, and the sizes asked of the COM task allocator.
#pragma once

#include "support/FaultInjection.h"

#include <vector>

// Counts the ordinary-heap blocks taken and not yet given back while it lives.
class HeapTracker {
public:
    HeapTracker() : allocate_(&platform::SystemApi::HeapAllocate, &Allocate), release_(&platform::SystemApi::HeapRelease, &Release) {
        live_ = 0;
    }
    HeapTracker(const HeapTracker&) = delete;
    HeapTracker& operator=(const HeapTracker&) = delete;

    static int Live() { return live_; }

private:
    static void* Allocate(SIZE_T size) {
        void* block = platform::kSystemDefaults.HeapAllocate(size);
        if (block != nullptr) {
            ++live_;
        }
        return block;
    }
    static void Release(void* block) {
        if (block != nullptr) {
            --live_;
        }
        platform::kSystemDefaults.HeapRelease(block);
    }

    ScopedOverride<void* (*)(SIZE_T)> allocate_;
    ScopedOverride<void (*)(void*)> release_;
    static inline int live_ = 0;
};

// Records the size of every CoTaskMemAlloc request while it lives.
class TaskAllocationLog {
public:
    TaskAllocationLog() : swap_(&platform::SystemApi::CoTaskMemAlloc, &Allocate) { sizes_.clear(); }
    TaskAllocationLog(const TaskAllocationLog&) = delete;
    TaskAllocationLog& operator=(const TaskAllocationLog&) = delete;

    static const std::vector<SIZE_T>& Sizes() { return sizes_; }

private:
    static LPVOID Allocate(SIZE_T size) {
        sizes_.push_back(size);
        return platform::kSystemDefaults.CoTaskMemAlloc(size);
    }

    ScopedOverride<LPVOID (*)(SIZE_T)> swap_;
    static inline std::vector<SIZE_T> sizes_;
};
