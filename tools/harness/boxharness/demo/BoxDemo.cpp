// boxdemo: the harness's own test program.  Shows an OK/Cancel box, then an OK box, and
// exits with 10 x the first answer + the second answer (IDOK 1, IDCANCEL 2), plus 100 if
// the marker file given as its argument existed after the first box and 200 if it existed
// after the second.  With the argument "hang" it shows nothing and sleeps for a minute.
//
// The texts are made from wide strings in the ANSI code page in force, so that the
// harness, which reads them back wide, must report exactly these characters.
#include "platform/win32/Win32Headers.h"

#include <string>

namespace {

std::string Ansi(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], size, nullptr, nullptr);
    return result;
}

bool Exists(const wchar_t* path) { return path != nullptr && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const wchar_t* marker = argc > 1 ? argv[1] : nullptr;
    if (marker != nullptr && std::wstring(marker) == L"hang") {
        Sleep(60000);
        return 0;
    }
    const std::string caption = Ansi(L"Demo \u00dcbersicht");
    const std::string first = Ansi(L"Gr\u00f6\u00dfe: 5 \u20ac\r\n\"Tab\"\there \\ end");
    const int firstAnswer = MessageBoxA(nullptr, first.c_str(), caption.c_str(), MB_OKCANCEL);
    const bool afterFirst = Exists(marker);
    const int secondAnswer = MessageBoxA(nullptr, "Second box", caption.c_str(), MB_OK);
    const bool afterSecond = Exists(marker);
    return 10 * firstAnswer + secondAnswer + (afterFirst ? 100 : 0) + (afterSecond ? 200 : 0);
}
