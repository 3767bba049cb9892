// The line breaks of a message box's text, as both POSIX boxes (the terminal's and the
// desktop dialog) show them: "\r\n", a lone "\r" and a lone "\n" each end one line.
#pragma once

namespace platform::posix {

// Calls `line(begin, end)` for each line of [begin, end), and `lineEnd()` after each line
// that a line break ends; stops at the first call that returns false, and returns false
// then.
template <class Line, class LineEnd>
bool ForEachLine(const char* begin, const char* end, Line line, LineEnd lineEnd) {
    const char* start = begin;
    for (const char* p = begin; p < end; ++p) {
        if (*p != '\n' && *p != '\r') {
            continue;
        }
        if (!line(start, p) || !lineEnd()) {
            return false;
        }
        if (*p == '\r' && p + 1 < end && p[1] == '\n') {
            ++p;
        }
        start = p + 1;
    }
    return line(start, end);
}

}  // namespace platform::posix
