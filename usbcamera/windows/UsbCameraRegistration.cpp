// DllRegisterServer, DllUnregisterServer and DllInstall of the Windows camera component:
//
//   regsvr32 usbcamera.dll                     per machine (an administrator's)
//   regsvr32 /n /i:user usbcamera.dll          per user, no administrator: DllInstall(TRUE, L"user")
//   regsvr32 /u usbcamera.dll                  removes the machine's entry
//   regsvr32 /u /n /i:user usbcamera.dll       removes the user's entry
//
// The entry is Software\Classes\CLSID\{class} of HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER,
// InprocServer32 naming this DLL, in the registry view of the DLL's own width: only a
// program of that width loads it, and on 64-bit Windows a 32-bit program looks in the
// 32-bit view, per user as per machine.  The camera maker's component keeps the class: an
// entry of another server, in either place, is never replaced or removed.
#include "platform/Platform.h"

#include <string>

#include "platform/win32/Handles.h"
#include "cameraserver/ServerInterfaces.h"
#include "cameraserver/ServerLog.h"
#include "cameraserver/win32/Win32ModulePath.h"

namespace {

using platform::win32::KernelHandle;
using platform::win32::RegistryKey;

const wchar_t kClassesKey[] = L"Software\\Classes\\CLSID";
// The view of the DLL's own width (on 32-bit Windows, which has one view, the flag is ignored).
constexpr REGSAM kView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
// Marks an entry this component wrote with the path it wrote there, so that the entry stays
// its own wherever the DLL is now (a moved or downloaded-again copy) while it names that path.
const wchar_t kMarkName[] = L"fwupgradeComponent";
// The mark of the releases before it held the path: it says the entry was once the
// component's, not what the entry named then.  Such an entry is still the component's while
// it names a file of the component's own name (a copy since moved or deleted, which the
// owner must be able to unregister from the new copy); another installer points it at a
// DLL of its own name.
const wchar_t kOlderMark[] = L"usbcamera";
// Longer values are no path the component wrote or could compare.
constexpr DWORD kLongestValue = 65536;
// The class has another server: HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS).
const HRESULT kTaken = static_cast<HRESULT>(0x800700B7u);

enum class Scope { Machine, User };

// "{FB803D0D-...}", the class's key below kClassesKey.
std::wstring ClassName() {
    const std::string guid = cameraserver::GuidText(cameraserver::kClassId);
    return std::wstring(guid.begin(), guid.end());
}

std::wstring ClassKey() {
    return std::wstring(kClassesKey) + L"\\" + ClassName();
}

HKEY Root(Scope scope) {
    return scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

std::string Named(Scope scope) {
    return scope == Scope::Machine ? "machine" : "user";
}

HRESULT FromError(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(error) & 0xFFFFu));
}

std::string Shown(const std::wstring& text) {
    return cameraserver::Quoted({false, text});
}

// The text value `name` (null: the key's default) of `key`, environment strings expanded;
// false when there is none.
bool ReadText(HKEY key, const wchar_t* name, std::wstring& text) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > kLongestValue) {
        return false;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size) != ERROR_SUCCESS) {
        return false;
    }
    value.resize(wcsnlen(value.c_str(), size / sizeof(wchar_t)));
    if (type == REG_EXPAND_SZ) {
        const DWORD needed = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
        std::wstring expanded(needed, L'\0');
        if (needed == 0 || ExpandEnvironmentStringsW(value.c_str(), &expanded[0], needed) != needed) {
            return false;
        }
        expanded.resize(needed - 1);
        value = expanded;
    }
    text = value;
    return true;
}

LONG WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// The default value of the subkey `name`; false without one.
bool ReadServer(HKEY classKey, const wchar_t* name, std::wstring& server) {
    RegistryKey key;
    return RegOpenKeyExW(classKey, name, 0, KEY_QUERY_VALUE | kView, key.Put()) == ERROR_SUCCESS &&
           ReadText(key.Get(), nullptr, server);
}

std::wstring Unquoted(const std::wstring& path) {
    return path.size() >= 2 && path.front() == L'"' && path.back() == L'"' ? path.substr(1, path.size() - 2) : path;
}

// The same name in any letter case, or the same file reached by another name.
bool SameFile(const std::wstring& a, const std::wstring& b) {
    if (CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL) {
        return true;
    }
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const KernelHandle first(CreateFileW(a.c_str(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
    const KernelHandle second(CreateFileW(b.c_str(), 0, share, nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION x{};
    BY_HANDLE_FILE_INFORMATION y{};
    return !first.IsEmpty() && !second.IsEmpty() && GetFileInformationByHandle(first.Get(), &x) &&
           GetFileInformationByHandle(second.Get(), &y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// Whether the last names of two paths are the same in any letter case.
bool SameFileName(const std::wstring& a, const std::wstring& b) {
    const auto last = [](const std::wstring& path) {
        const auto separator = path.find_last_of(L"\\/");
        return separator == std::wstring::npos ? path : path.substr(separator + 1);
    };
    return CompareStringOrdinal(last(a).c_str(), -1, last(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

enum class Holder { Nobody, This, Another };

// Who holds the class in `root`: nobody, this component, or another server, named in
// `server`.  An entry naming a server is the component's only while it names this DLL or
// exactly the path the component last wrote there: the mark never outweighs the path, as
// another installer that points the entry at its own DLL may leave a value it does not know.
Holder Examine(HKEY root, const std::wstring& self, std::wstring& server) {
    RegistryKey classKey;
    const LONG error = RegOpenKeyExW(root, ClassKey().c_str(), 0, KEY_READ | kView, classKey.Put());
    if (error == ERROR_FILE_NOT_FOUND) {
        return Holder::Nobody;
    }
    if (error != ERROR_SUCCESS) {
        server = L"(unreadable)";
        return Holder::Another;  // what cannot be read may be anyone's
    }
    std::wstring written;
    const bool marked = ReadText(classKey.Get(), kMarkName, written) && !written.empty();
    const bool older = marked && written == kOlderMark;
    if (ReadServer(classKey.Get(), L"InprocServer32", server)) {
        const bool ours = (marked && !older && server == written) ||
                          (older && SameFileName(Unquoted(server), self)) || SameFile(Unquoted(server), self);
        return ours ? Holder::This : Holder::Another;
    }
    if (ReadServer(classKey.Get(), L"LocalServer32", server)) {
        return Holder::Another;
    }
    return marked ? Holder::This : Holder::Nobody;
}

LONG RemoveEntry(HKEY root) {
    RegistryKey classes;
    LONG error = RegOpenKeyExW(root, kClassesKey, 0,
                               DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | kView, classes.Put());
    if (error == ERROR_SUCCESS) {
        error = RegDeleteTreeW(classes.Get(), ClassName().c_str());
    }
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
}

LONG WriteEntry(HKEY root, const std::wstring& self) {
    RegistryKey classKey;
    DWORD disposition = 0;
    LONG error = RegCreateKeyExW(root, ClassKey().c_str(), 0, nullptr, 0, KEY_WRITE | kView, nullptr, classKey.Put(),
                                 &disposition);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    RegistryKey serverKey;
    error = WriteText(classKey.Get(), nullptr, L"USB camera access component");
    if (error == ERROR_SUCCESS) {
        error = RegCreateKeyExW(classKey.Get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE | kView, nullptr,
                                serverKey.Put(), nullptr);
    }
    if (error == ERROR_SUCCESS) {
        error = WriteText(serverKey.Get(), nullptr, self);
    }
    if (error == ERROR_SUCCESS) {
        error = WriteText(serverKey.Get(), L"ThreadingModel", L"Apartment");
    }
    // The mark last: an entry whose path could not be written keeps the mark of the path it
    // still names, and stays the component's.
    if (error == ERROR_SUCCESS) {
        error = WriteText(classKey.Get(), kMarkName, self);
    }
    if (error != ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
        serverKey.Reset();
        classKey.Reset();
        RemoveEntry(root);  // no half-written entry of ours is left
    }
    return error;
}

HRESULT Register(Scope scope) {
    const std::wstring self = cameraserver::ModuleFileName();
    if (self.empty()) {
        return E_UNEXPECTED;
    }
    // The program takes the user's entry over the machine's: another server's in either place
    // is the one it would load, or would load again once ours is removed.
    for (const Scope place : {Scope::User, Scope::Machine}) {
        std::wstring server;
        if (Examine(Root(place), self, server) == Holder::Another) {
            cameraserver::Log("register scope=" + Named(scope) + " refused: the " + Named(place) +
                              "'s entry names another server " + Shown(server));
            return kTaken;
        }
    }
    const HRESULT status = FromError(WriteEntry(Root(scope), self));
    cameraserver::Log("register scope=" + Named(scope) + " path=" + Shown(self) + " -> " +
                      cameraserver::StatusText(status));
    return status;
}

HRESULT Unregister(Scope scope) {
    std::wstring server;
    switch (Examine(Root(scope), cameraserver::ModuleFileName(), server)) {
        case Holder::Another:
            cameraserver::Log("unregister scope=" + Named(scope) + " left another server's entry " + Shown(server));
            return S_OK;
        case Holder::Nobody:
            cameraserver::Log("unregister scope=" + Named(scope) + " no entry");
            return S_OK;
        case Holder::This:
            break;
    }
    const HRESULT status = FromError(RemoveEntry(Root(scope)));
    cameraserver::Log("unregister scope=" + Named(scope) + " removed " + Shown(server) + " -> " +
                      cameraserver::StatusText(status));
    return status;
}

}  // namespace

STDAPI DllRegisterServer() {
    return cameraserver::Guarded([] { return Register(Scope::Machine); });
}

STDAPI DllUnregisterServer() {
    return cameraserver::Guarded([] { return Unregister(Scope::Machine); });
}

// "user" for the user's entry; nothing for the machine's, as DllRegisterServer.
STDAPI DllInstall(BOOL install, PCWSTR commandLine) {
    return cameraserver::Guarded([&] {
        Scope scope = Scope::Machine;
        if (commandLine != nullptr && *commandLine != L'\0') {
            if (CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) != CSTR_EQUAL) {
                return E_INVALIDARG;
            }
            scope = Scope::User;
        }
        return install ? Register(scope) : Unregister(scope);
    });
}
