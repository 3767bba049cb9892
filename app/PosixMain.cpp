// Entry of the POSIX build: the narrow code page is the locale's, a write beyond a file-size
// limit fails as writes fail, then the same WinMain.
#include <clocale>
#include <cstring>

#include "platform/Platform.h"
#include "platform/posix/FileSizeLimit.h"

namespace {

// The character set of the locale the environment names.  A locale that is not installed
// makes setlocale refuse the whole setting, which would leave "C" (Latin-1 here) and show
// every text outside ASCII wrongly; the message language follows the environment all the
// same (GetSystemDefaultLangID), so the character set falls back to LC_CTYPE's own
// setting.  A "C" or "POSIX" character type, also when nothing is set, says nothing about
// the terminal: it is taken as C.UTF-8, what terminals use today, as current language
// runtimes do.
void UseEnvironmentLocale() {
    if (std::setlocale(LC_ALL, "") == nullptr) {
        std::setlocale(LC_CTYPE, "");
    }
    const char* characterType = std::setlocale(LC_CTYPE, nullptr);
    if (characterType == nullptr || std::strcmp(characterType, "C") == 0 ||
        std::strcmp(characterType, "POSIX") == 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
}

}  // namespace

int main() {
    UseEnvironmentLocale();
    platform::posix::FailWritesBeyondFileSizeLimit();
    char noCommandLine[] = "";
    return WinMain(GetModuleHandleA(nullptr), nullptr, noCommandLine, 0);
}
