// A POSIX system has no side-by-side components: no manifest lends a class to a program
// without the registry, so a class the registry does not know stays not registered, as
// on Windows when the program carries no component beside it.
#include "platform/SideBySide.h"

namespace platform {

HRESULT CoCreateSideBySide(LPCWSTR /*component*/, REFCLSID /*clsid*/, LPUNKNOWN /*outer*/, DWORD /*context*/,
                           REFIID /*riid*/, LPVOID* object, SideBySideStep* step) {
    if (object != nullptr) {
        *object = nullptr;
    }
    *step = SideBySideStep::kUnsupported;
    return REGDB_E_CLASSNOTREG;
}

}  // namespace platform
