#include "tools/harness/boxharness/HarnessOptions.h"

#include <cwchar>

namespace {

std::string Narrow(const std::wstring& text) {
    std::string result;
    for (const wchar_t c : text) {
        result += c < 0x80 ? static_cast<char>(c) : '?';
    }
    return result;
}

bool ParseAnswers(const std::wstring& list, std::vector<BoxAnswer>& answers) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(L',', start);
        const std::wstring word = list.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        if (word == L"ok") {
            answers.push_back(BoxAnswer::Ok);
        } else if (word == L"cancel") {
            answers.push_back(BoxAnswer::Cancel);
        } else {
            return false;
        }
        if (comma == std::wstring::npos) {
            return true;
        }
        start = comma + 1;
    }
}

bool ParseTouch(const std::wstring& value, TouchAction& touch) {
    std::size_t digits = 0;
    int box = 0;
    while (digits < value.size() && value[digits] >= L'0' && value[digits] <= L'9' && box < 100000) {
        box = box * 10 + (value[digits] - L'0');
        ++digits;
    }
    if (digits == 0 || box == 0 || digits + 1 >= value.size() || value[digits] != L':') {
        return false;
    }
    touch.box = box;
    touch.path = value.substr(digits + 1);
    return true;
}

bool ParseSeconds(const std::wstring& value, unsigned& seconds) {
    if (value.empty() || value.size() > 6) {
        return false;
    }
    seconds = 0;
    for (const wchar_t c : value) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        seconds = seconds * 10 + static_cast<unsigned>(c - L'0');
    }
    return seconds > 0;
}

}  // namespace

BoxAnswer HarnessOptions::AnswerFor(int box) const {
    const auto index = static_cast<std::size_t>(box - 1);
    return index < answers.size() ? answers[index] : BoxAnswer::Ok;
}

bool ParseHarnessOptions(int argc, const wchar_t* const* argv, HarnessOptions& options, std::string& error) {
    int i = 1;
    for (; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--") {
            ++i;
            break;
        }
        if (argument.rfind(L"--", 0) != 0) {
            break;
        }
        if (i + 1 >= argc) {
            error = "option " + Narrow(argument) + " needs a value";
            return false;
        }
        const std::wstring value = argv[++i];
        if (argument == L"--answer") {
            if (!ParseAnswers(value, options.answers)) {
                error = "--answer takes a comma-separated list of ok and cancel";
                return false;
            }
        } else if (argument == L"--touch-before") {
            TouchAction touch{};
            if (!ParseTouch(value, touch)) {
                error = "--touch-before takes N:PATH with N counted from 1";
                return false;
            }
            options.touches.push_back(touch);
        } else if (argument == L"--timeout") {
            if (!ParseSeconds(value, options.timeoutSeconds)) {
                error = "--timeout takes a number of seconds";
                return false;
            }
        } else {
            error = "unknown option " + Narrow(argument);
            return false;
        }
    }
    for (; i < argc; ++i) {
        options.program.emplace_back(argv[i]);
    }
    if (options.program.empty()) {
        error = "no program to run";
        return false;
    }
    return true;
}
