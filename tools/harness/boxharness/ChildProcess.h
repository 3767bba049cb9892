// The program under test, started with its own arguments.  A process still running when
// its owner goes away is terminated, so no test leaves a program behind.
#pragma once

#include "platform/win32/Win32Headers.h"

#include <string>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `program[0]` with the rest as its arguments; false with the system's error.
    bool Start(const std::vector<std::wstring>& program, DWORD& error);

    DWORD Id() const { return id_; }
    // True once the process has ended; waits up to `milliseconds` for it.
    bool WaitForExit(DWORD milliseconds) const;
    DWORD ExitCode() const;
    void Terminate();

    // One argument quoted so that the program's runtime parses it back unchanged.
    static std::wstring Quote(const std::wstring& argument);

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};
