// emulationcheck: what a 32-bit Windows program needs from the Wine it runs on, in the places
// where user-mode emulation of x86 goes wrong without tools/emulation/i386emu's fix-ups:
//   - faults are classified as the processor reports them (read or write access violation,
//     guard page, integer division by zero), which needs the trap number;
//   - memory can be reserved at a chosen address, which needs exact MAP_FIXED_NOREPLACE;
//   - threads interrupted by signals (suspend, get context, resume) keep their own
//     thread-local data, which needs a libc segment per thread.
// Prints one line per check and exits with the number of failed checks.
#include "platform/win32/Win32Headers.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) ++failures;
}

// The last exception seen by the handler, and the page it makes writable so the faulting
// instruction can run again.  Volatile: the handler runs in this thread between the
// instructions around a fault, which the compiler cannot see.
volatile DWORD seenCode = 0;
volatile ULONG_PTR seenAccess = 0;
volatile ULONG_PTR seenAddress = 0;
void* volatile unlockPage = nullptr;

void Forget() {
    seenCode = 0;
    seenAccess = ~ULONG_PTR{0};
    seenAddress = 0;
}

LONG CALLBACK Handler(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    seenCode = record->ExceptionCode;
    if (record->NumberParameters >= 2) {
        seenAccess = record->ExceptionInformation[0];
        seenAddress = record->ExceptionInformation[1];
    }
    switch (record->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION: {
        DWORD old = 0;
        VirtualProtect(unlockPage, 4096, PAGE_READWRITE, &old);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    case STATUS_GUARD_PAGE_VIOLATION:
        return EXCEPTION_CONTINUE_EXECUTION;  // the guard is gone once it fired
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
        pointers->ContextRecord->Ecx = 1;  // the divisor; the division runs again
        return EXCEPTION_CONTINUE_EXECUTION;
    default:
        return EXCEPTION_CONTINUE_SEARCH;
    }
}

void CheckFaults() {
    void* page = VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY);
    unlockPage = page;
    volatile int* cell = static_cast<volatile int*>(page);
    Forget();
    *cell = 7;
    Check(seenCode == EXCEPTION_ACCESS_VIOLATION && seenAccess == 1 &&
              seenAddress == reinterpret_cast<ULONG_PTR>(page) && *cell == 7,
          "a write to a read-only page is a write access violation at its address");

    DWORD old = 0;
    VirtualProtect(page, 4096, PAGE_NOACCESS, &old);
    Forget();
    const int value = *cell;
    Check(seenCode == EXCEPTION_ACCESS_VIOLATION && seenAccess == 0 && value == 7,
          "a read of an inaccessible page is a read access violation");

    VirtualProtect(page, 4096, PAGE_READWRITE | PAGE_GUARD, &old);
    Forget();
    *cell = 8;
    Check(seenCode == STATUS_GUARD_PAGE_VIOLATION && *cell == 8, "a guard page fires once");
    VirtualFree(page, 0, MEM_RELEASE);

    Forget();
    int quotient = 0;
    __asm__ volatile("xorl %%edx,%%edx\n\tmovl $42,%%eax\n\txorl %%ecx,%%ecx\n\tdivl %%ecx"
                     : "=a"(quotient)
                     :
                     : "ecx", "edx", "cc");
    Check(seenCode == EXCEPTION_INT_DIVIDE_BY_ZERO && quotient == 42, "an integer division by zero");
}

void CheckReservation() {
    // Two reservations at chosen addresses, the second inside the first: the first must be
    // placed exactly, the second refused.
    void* const wanted = reinterpret_cast<void*>(0x30000000);
    void* first = VirtualAlloc(wanted, 1 << 20, MEM_RESERVE, PAGE_NOACCESS);
    Check(first == wanted, "memory is reserved at the address asked for");
    void* second = VirtualAlloc(static_cast<char*>(wanted) + 0x10000, 4096, MEM_RESERVE, PAGE_NOACCESS);
    Check(second == nullptr, "a reservation over a reserved range is refused");
    if (first != nullptr) VirtualFree(first, 0, MEM_RELEASE);
}

// Workers keep calling into Wine (events and waits go through its libc side) while the main
// thread suspends them, reads their context and resumes them; each signal the emulator
// delivers reloads the segment registers.
std::atomic<bool> stop{false};

DWORD WINAPI Worker(void* parameter) {
    auto* rounds = static_cast<std::atomic<long>*>(parameter);
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetLastError(0);
    while (!stop.load()) {
        SetEvent(event);
        if (WaitForSingleObject(event, 1000) != WAIT_OBJECT_0 || GetLastError() != 0) break;
        SetLastError(0);
        rounds->fetch_add(1);
    }
    CloseHandle(event);
    return 0;
}

void CheckThreads() {
    constexpr std::size_t kThreads = 6;
    std::vector<std::atomic<long>> rounds(kThreads);
    std::vector<HANDLE> threads;
    for (std::size_t i = 0; i < kThreads; ++i) threads.push_back(CreateThread(nullptr, 0, Worker, &rounds[i], 0, nullptr));
    bool contexts = true;
    for (int pass = 0; pass < 60; ++pass) {
        for (HANDLE thread : threads) {
            if (SuspendThread(thread) == static_cast<DWORD>(-1)) contexts = false;
            CONTEXT context{};
            context.ContextFlags = CONTEXT_CONTROL;
            if (!GetThreadContext(thread, &context) || context.Esp == 0) contexts = false;
            ResumeThread(thread);
        }
        Sleep(5);
    }
    Sleep(100);
    stop = true;
    const bool ended = WaitForMultipleObjects(kThreads, threads.data(), TRUE, 20000) == WAIT_OBJECT_0;
    bool allRan = true;
    for (std::size_t i = 0; i < kThreads; ++i) {
        DWORD code = 1;
        GetExitCodeThread(threads[i], &code);
        allRan = allRan && code == 0 && rounds[i].load() > 0;
        CloseHandle(threads[i]);
    }
    Check(contexts, "threads can be suspended, read and resumed");
    Check(ended && allRan, "interrupted threads go on calling the system and end");
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // each line as it is known, should a check hang
    PVOID handler = AddVectoredExceptionHandler(1, Handler);
    CheckFaults();
    RemoveVectoredExceptionHandler(handler);
    CheckReservation();
    CheckThreads();
    std::printf("%d failed\n", failures);
    return failures;
}
