#include "tools/harness/boxharness/ChildProcess.h"

ChildProcess::~ChildProcess() {
    if (process_ != nullptr) {
        Terminate();
        CloseHandle(process_);
    }
}

std::wstring ChildProcess::Quote(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    // Backslashes are literal except before a quote, where they are halved.
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

bool ChildProcess::Start(const std::vector<std::wstring>& program, DWORD& error) {
    std::wstring commandLine;
    for (const std::wstring& argument : program) {
        commandLine += (commandLine.empty() ? L"" : L" ") + Quote(argument);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
        error = GetLastError();
        return false;
    }
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    id_ = started.dwProcessId;
    return true;
}

bool ChildProcess::WaitForExit(DWORD milliseconds) const {
    return WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
}

DWORD ChildProcess::ExitCode() const {
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return code;
}

void ChildProcess::Terminate() {
    if (!WaitForExit(0)) {
        TerminateProcess(process_, 1);
        WaitForExit(5000);
    }
}
