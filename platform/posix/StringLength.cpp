// Lengths of zero-terminated texts in code units; a null text has length 0.
#include "platform/Platform.h"

#include <cstring>

int lstrlenA(LPCSTR text) { return text != nullptr ? static_cast<int>(std::strlen(text)) : 0; }

int lstrlenW(LPCWSTR text) {
    if (text == nullptr) {
        return 0;
    }
    const WCHAR* end = text;
    while (*end != 0) {
        ++end;
    }
    return static_cast<int>(end - text);
}
