// The harness's command line:
//
//   boxharness [--answer ok,cancel,...] [--touch-before N:PATH]... [--timeout SECONDS]
//              [--] PROGRAM [ARGUMENTS...]
//
// Box N (counted from 1) is answered with the N-th word of --answer, OK when the list is
// shorter.  --touch-before creates the file PATH (a Windows path) just before box N is
// answered; it may be given more than once.  --timeout bounds the whole run (default 60).
#pragma once

#include <string>
#include <vector>

enum class BoxAnswer { Ok, Cancel };

struct TouchAction {
    int box;
    std::wstring path;
};

struct HarnessOptions {
    std::vector<BoxAnswer> answers;
    std::vector<TouchAction> touches;
    unsigned timeoutSeconds = 60;
    std::vector<std::wstring> program;  // the program and its own arguments

    BoxAnswer AnswerFor(int box) const;
};

// Parses argv[1..]; on a usage error returns false with a message in `error`.
bool ParseHarnessOptions(int argc, const wchar_t* const* argv, HarnessOptions& options, std::string& error);
