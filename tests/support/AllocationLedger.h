// Books every block that the seam's allocators hand out under the allocator it came from,
// and every free against that entry, while it lives: a block given back to another
// allocator's free, a free of a block never handed out, and a block never given back all
// show.  FormatMessageA's own allocation is booked as local memory.
//
//   AllocationLedger ledger;
//   ... code under test ...
//   EXPECT_EQ(ledger.Report(), "");
#pragma once

#include "platform/SystemApi.h"
#include "support/FaultInjection.h"

#include <map>
#include <sstream>
#include <string>

class AllocationLedger {
public:
    AllocationLedger()
        : taskAlloc_(&platform::SystemApi::CoTaskMemAlloc, &TaskAlloc),
          taskFree_(&platform::SystemApi::CoTaskMemFree, &TaskFree),
          stringAlloc_(&platform::SystemApi::SysAllocString, &StringAlloc),
          stringAllocLen_(&platform::SystemApi::SysAllocStringLen, &StringAllocLen),
          stringFree_(&platform::SystemApi::SysFreeString, &StringFree),
          heapAlloc_(&platform::SystemApi::HeapAlloc, &HeapAllocBooked),
          heapFree_(&platform::SystemApi::HeapFree, &HeapFreeSettled),
          localFree_(&platform::SystemApi::LocalFree, &LocalFree),
          savedFormat_(platform::sys.FormatMessageA) {
        state_ = State{};
        platform::sys.FormatMessageA = &Format;
    }
    ~AllocationLedger() {
        platform::sys.FormatMessageA = savedFormat_;
        state_ = State{};
    }
    AllocationLedger(const AllocationLedger&) = delete;
    AllocationLedger& operator=(const AllocationLedger&) = delete;

    // Blocks handed out so far.
    static int Allocations() { return state_.allocations; }
    // Blocks handed out and not yet freed.
    static int Live() { return static_cast<int>(state_.live.size()); }

    // Empty when every block went back to its own free; otherwise one line per fault.
    static std::string Report() {
        std::ostringstream report;
        report << state_.faults;
        for (const auto& [block, kind] : state_.live) {
            report << Name(kind) << " block " << block << " never freed\n";
        }
        return report.str();
    }

private:
    enum class Kind { kTask, kString, kHeap, kLocal };

    struct State {
        std::map<const void*, Kind> live;
        std::string faults;
        int allocations;
    };

    static const char* Name(Kind kind) {
        switch (kind) {
            case Kind::kTask: return "task-memory";
            case Kind::kString: return "BSTR";
            case Kind::kHeap: return "heap";
            case Kind::kLocal: return "local-memory";
        }
        return "?";
    }

    static void Book(const void* block, Kind kind) {
        if (block != nullptr) {
            state_.live[block] = kind;
            ++state_.allocations;
        }
    }
    static void Settle(const void* block, Kind kind) {
        if (block == nullptr) {
            return;
        }
        const auto found = state_.live.find(block);
        if (found == state_.live.end()) {
            std::ostringstream fault;
            fault << Name(kind) << " free of " << block << ", which no allocator handed out\n";
            state_.faults += fault.str();
            return;
        }
        if (found->second != kind) {
            std::ostringstream fault;
            fault << Name(found->second) << " block " << block << " freed as " << Name(kind) << "\n";
            state_.faults += fault.str();
        }
        state_.live.erase(found);
    }
    static LPVOID TaskAlloc(SIZE_T size) {
        LPVOID block = platform::kSystemDefaults.CoTaskMemAlloc(size);
        Book(block, Kind::kTask);
        return block;
    }
    static void TaskFree(LPVOID block) {
        Settle(block, Kind::kTask);
        platform::kSystemDefaults.CoTaskMemFree(block);
    }
    static BSTR StringAlloc(const OLECHAR* text) {
        BSTR made = platform::kSystemDefaults.SysAllocString(text);
        Book(made, Kind::kString);
        return made;
    }
    static BSTR StringAllocLen(const OLECHAR* text, UINT length) {
        BSTR made = platform::kSystemDefaults.SysAllocStringLen(text, length);
        Book(made, Kind::kString);
        return made;
    }
    static void StringFree(BSTR text) {
        Settle(text, Kind::kString);
        platform::kSystemDefaults.SysFreeString(text);
    }
    static LPVOID HeapAllocBooked(HANDLE heap, DWORD flags, SIZE_T bytes) {
        LPVOID block = platform::kSystemDefaults.HeapAlloc(heap, flags, bytes);
        Book(block, Kind::kHeap);
        return block;
    }
    static BOOL HeapFreeSettled(HANDLE heap, DWORD flags, LPVOID block) {
        Settle(block, Kind::kHeap);
        return platform::kSystemDefaults.HeapFree(heap, flags, block);
    }
    static DWORD Format(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                        va_list* arguments) {
        const DWORD count =
            platform::kSystemDefaults.FormatMessageA(flags, source, messageId, languageId, buffer, size, arguments);
        if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 && count != 0) {
            Book(*reinterpret_cast<char**>(buffer), Kind::kLocal);
        }
        return count;
    }
    static HLOCAL LocalFree(HLOCAL block) {
        Settle(block, Kind::kLocal);
        return platform::kSystemDefaults.LocalFree(block);
    }

    ScopedOverride<LPVOID (*)(SIZE_T)> taskAlloc_;
    ScopedOverride<void (*)(LPVOID)> taskFree_;
    ScopedOverride<BSTR (*)(const OLECHAR*)> stringAlloc_;
    ScopedOverride<BSTR (*)(const OLECHAR*, UINT)> stringAllocLen_;
    ScopedOverride<void (*)(BSTR)> stringFree_;
    ScopedOverride<LPVOID (*)(HANDLE, DWORD, SIZE_T)> heapAlloc_;
    ScopedOverride<BOOL (*)(HANDLE, DWORD, LPVOID)> heapFree_;
    ScopedOverride<HLOCAL (*)(HLOCAL)> localFree_;
    // Swapped by hand: on x64 MinGW a va_list in a template argument loses an attribute,
    // which the compiler reports.
    decltype(platform::SystemApi::FormatMessageA) savedFormat_;
    static inline State state_{};
};
