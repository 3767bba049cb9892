// boxharness: runs a Windows program, reports each message box it shows and answers it.
//
// Standard output gets one JSON object per line, in UTF-8:
//   {"box":1,"caption":"...","text":"...","buttons":["ok","cancel"],"answer":"cancel"}
//   {"exit":0}                        the program's exit code, after its last box
//   {"error":"..."}                   a harness failure; the program is terminated
// The harness exits with 0 after the "exit" line, 2 on a timeout, 3 on another failure
// (the program does not start, a marker file cannot be made, Cancel asked of a box
// without a Cancel button) and 64 on a usage error.  Options: HarnessOptions.h.
#include "tools/harness/boxharness/ChildProcess.h"
#include "tools/harness/boxharness/HarnessOptions.h"
#include "tools/harness/boxharness/JsonLine.h"
#include "tools/harness/boxharness/MessageBoxWatcher.h"

#include <string>
#include <vector>

namespace {

constexpr int kExitTimeout = 2;
constexpr int kExitFailure = 3;
constexpr int kExitUsage = 64;
constexpr DWORD kPollMs = 20;

int Fail(const std::string& message, int code) {
    JsonLine().Text("error", message).Write();
    return code;
}

bool Touch(const std::wstring& path) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

class Deadline {
public:
    explicit Deadline(unsigned seconds) : end_(GetTickCount64() + 1000ull * seconds) {}
    bool Passed() const { return GetTickCount64() >= end_; }

private:
    ULONGLONG end_;
};

int Run(const HarnessOptions& options) {
    ChildProcess program;
    DWORD startError = 0;
    if (!program.Start(options.program, startError)) {
        return Fail("cannot start the program (error " + std::to_string(startError) + ")", kExitFailure);
    }
    const Deadline deadline(options.timeoutSeconds);
    const MessageBoxWatcher watcher(program.Id());
    int boxNumber = 0;

    while (!program.WaitForExit(kPollMs)) {
        if (deadline.Passed()) {
            return Fail("timeout after box " + std::to_string(boxNumber), kExitTimeout);
        }
        const HWND box = watcher.FindBox();
        if (box == nullptr) {
            continue;
        }
        ++boxNumber;
        const BoxContent content = MessageBoxWatcher::Read(box);
        const BoxAnswer answer = options.AnswerFor(boxNumber);
        std::vector<std::string> buttons;
        if (content.hasOk) {
            buttons.emplace_back("ok");
        }
        if (content.hasCancel) {
            buttons.emplace_back("cancel");
        }
        JsonLine()
            .Number("box", static_cast<unsigned long>(boxNumber))
            .Text("caption", content.caption)
            .Text("text", content.text)
            .List("buttons", buttons)
            .Text("answer", std::string(answer == BoxAnswer::Ok ? "ok" : "cancel"))
            .Write();
        if (answer == BoxAnswer::Cancel && !content.hasCancel) {
            return Fail("box " + std::to_string(boxNumber) + " has no Cancel button", kExitFailure);
        }
        for (const TouchAction& touch : options.touches) {
            if (touch.box == boxNumber && !Touch(touch.path)) {
                return Fail("cannot create the marker file for box " + std::to_string(boxNumber), kExitFailure);
            }
        }
        MessageBoxWatcher::Answer(box, answer == BoxAnswer::Ok ? IDOK : IDCANCEL);
        while (MessageBoxWatcher::IsShowing(box) && !program.WaitForExit(kPollMs)) {
            if (deadline.Passed()) {
                return Fail("box " + std::to_string(boxNumber) + " did not close", kExitTimeout);
            }
        }
    }
    JsonLine().Number("exit", program.ExitCode()).Write();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HarnessOptions options;
    std::string error;
    if (!ParseHarnessOptions(argc, argv, options, error)) {
        return Fail("usage: " + error, kExitUsage);
    }
    return Run(options);
}
