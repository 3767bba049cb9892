// Creation from a component beside the program: its DLL's embedded manifest (resource 2,
// naming the DLL and the classes it serves) made into an activation context, active on
// this thread for the one CoCreateInstance.  COM then loads the DLL the manifest names
// from the component's own folder, and nothing is written to the registry.  The object
// stays usable once the context is gone; so does the DLL, which stays loaded.
#include "platform/SideBySide.h"

#include "platform/win32/ActivationContext.h"
#include "platform/win32/ComponentPath.h"

#include <cwchar>
#include <utility>

namespace platform {
namespace {
// ISOLATIONAWARE_MANIFEST_RESOURCE_ID: a DLL's own manifest (RT_MANIFEST).
constexpr WORD kDllManifest = 2;
}  // namespace

HRESULT CoCreateSideBySide(LPCWSTR component, REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid,
                           LPVOID* object, SideBySideStep* step) {
    if (object == nullptr) {
        *step = SideBySideStep::kCreation;
        return E_POINTER;
    }
    *object = nullptr;
    *step = SideBySideStep::kProgramFolder;
    const std::unique_ptr<wchar_t[]> program = win32::ProgramPath();
    if (program == nullptr) {
        return win32::LastErrorStatus();
    }
    win32::ComponentPath path(program.get(), component);
    if (!path.IsValid()) {
        return E_UNEXPECTED;
    }
    // COM may keep an in-process server's path in MAX_PATH characters (Wine's refuses a
    // longer one): a component that deep below is named through the program's short path,
    // where the volume keeps short names.
    if (std::wcslen(path.File()) >= MAX_PATH) {
        if (const std::unique_ptr<wchar_t[]> shorter = win32::ShortPath(program.get())) {
            win32::ComponentPath shortened(shorter.get(), component);
            if (shortened.IsValid()) {
                path = std::move(shortened);
            }
        }
    }
    *step = SideBySideStep::kContext;
    const win32::ActivationContext manifest(path.File(), MAKEINTRESOURCEW(kDllManifest), path.Folder());
    if (!manifest.IsValid()) {
        return manifest.Status();
    }
    *step = SideBySideStep::kActivation;
    const win32::ActiveContext active(manifest);
    if (!active.IsActive()) {
        return active.Status();
    }
    *step = SideBySideStep::kCreation;
    return ::CoCreateInstance(clsid, outer, context, riid, object);
}

}  // namespace platform
