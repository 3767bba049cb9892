// An observer of the COM task allocator for the string tests: the sizes asked of it.  (The
// blocks still alive are AllocationLedger's to count.)
#pragma once

#include "platform/SystemApi.h"
#include "support/FaultInjection.h"

#include <vector>

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
