// Entry of the POSIX build: the narrow code page is the locale's, then the same WinMain.
#include <clocale>

#include "platform/Platform.h"

int main() {
    std::setlocale(LC_ALL, "");
    char noCommandLine[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, noCommandLine, 0);
}
