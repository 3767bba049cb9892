#include "tools/harness/boxharness/JsonLine.h"

#include "platform/win32/Win32Headers.h"

#include <cstdio>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], size, nullptr, nullptr);
    }
    return result;
}

}  // namespace

std::string JsonLine::Quote(const std::string& utf8) {
    std::string quoted = "\"";
    for (const char c : utf8) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\b':
            quoted += "\\b";
            break;
        case '\f':
            quoted += "\\f";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                quoted += escape;
            } else {
                quoted += c;
            }
        }
    }
    return quoted + "\"";
}

void JsonLine::Name(const char* name) {
    body_ += body_.empty() ? "{" : ",";
    body_ += Quote(name) + ":";
}

JsonLine& JsonLine::Text(const char* name, const std::wstring& value) {
    Name(name);
    body_ += Quote(Utf8(value));
    return *this;
}

JsonLine& JsonLine::Text(const char* name, const std::string& ascii) {
    Name(name);
    body_ += Quote(ascii);
    return *this;
}

JsonLine& JsonLine::Number(const char* name, unsigned long value) {
    Name(name);
    body_ += std::to_string(value);
    return *this;
}

JsonLine& JsonLine::List(const char* name, const std::vector<std::string>& asciiValues) {
    Name(name);
    body_ += "[";
    for (std::size_t i = 0; i < asciiValues.size(); ++i) {
        body_ += (i == 0 ? "" : ",") + Quote(asciiValues[i]);
    }
    body_ += "]";
    return *this;
}

void JsonLine::Write() const {
    // Straight to the handle, unbuffered: no text-mode translation of the line feed, and
    // a reader sees each line as soon as it is written.
    const std::string line = (body_.empty() ? std::string("{") : body_) + "}\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}
