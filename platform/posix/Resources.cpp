// The resource calls over the program's embedded resource directory.
//
// The language rules are those of the Windows resource loader: a specific language also
// finds a resource of its primary language with no sublanguage, or of no language; no
// language (0) prefers the user's language, then English, then whichever comes first.
// A resource handle is the address of its directory entry; loading and locking give the
// bytes in place.
#include "platform/posix/Modules.h"
#include "platform/posix/ResourceDirectory.h"
#include "platform/Platform.h"
#include "platform/StringBlock.h"

#include <cstring>
#include <vector>

// A program without resources links no directory: the reference then stays null.
extern "C" __attribute__((weak)) const platform::posix::EmbeddedResourceDirectory fwupgrade_embedded_resources;

namespace {

using platform::posix::EmbeddedResource;
using platform::posix::EmbeddedResourceDirectory;

// The directory of `module` (null meaning the main program): the one directory the
// program holds, if `module` is the module it was linked into.
const EmbeddedResourceDirectory* DirectoryOf(HMODULE module) {
    const EmbeddedResourceDirectory* directory = &fwupgrade_embedded_resources;
    if (directory == nullptr) {
        return nullptr;
    }
    if (module == nullptr) {
        module = platform::posix::MainProgramModule();
    }
    return platform::posix::ModuleContaining(directory) == module ? directory : nullptr;
}

WORD IdOf(LPCSTR id) { return static_cast<WORD>(reinterpret_cast<ULONG_PTR>(id)); }

// The languages to try, best first, for a wanted language.
std::vector<WORD> LanguagesFor(WORD language) {
    std::vector<WORD> order{language, static_cast<WORD>(PRIMARYLANGID(language)), 0};
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
        const LANGID user = GetSystemDefaultLangID();
        order.push_back(user);
        order.push_back(static_cast<WORD>(PRIMARYLANGID(user)));
        order.push_back(MAKELANGID(0x09, SUBLANG_DEFAULT));
    }
    return order;
}

HRSRC Find(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    const EmbeddedResourceDirectory* directory = DirectoryOf(module);
    if (directory == nullptr) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    if (!IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const EmbeddedResource* first = nullptr;  // of this type and name, lowest language
    std::size_t count = 0;
    bool typeFound = false;
    for (std::size_t i = 0; i < directory->count; ++i) {
        const EmbeddedResource& entry = directory->entries[i];
        if (entry.type != IdOf(type)) {
            continue;
        }
        typeFound = true;
        if (entry.name == IdOf(name)) {
            if (first == nullptr) {
                first = &entry;
            }
            ++count;
        }
    }
    if (first == nullptr) {
        SetLastError(typeFound ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    for (const WORD candidate : LanguagesFor(language)) {
        for (std::size_t i = 0; i < count; ++i) {
            if (first[i].language == candidate) {
                return reinterpret_cast<HRSRC>(const_cast<EmbeddedResource*>(&first[i]));
            }
        }
    }
    if (PRIMARYLANGID(language) == LANG_NEUTRAL) {
        return reinterpret_cast<HRSRC>(const_cast<EmbeddedResource*>(first));
    }
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
}

const EmbeddedResource* EntryOf(HRSRC resource) { return reinterpret_cast<const EmbeddedResource*>(resource); }

}  // namespace

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) { return Find(module, type, name, 0); }

HRSRC FindResourceExA(HMODULE module, LPCSTR type, LPCSTR name, WORD language) {
    return Find(module, type, name, language);
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return const_cast<void*>(EntryOf(resource)->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
    if (resource == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return EntryOf(resource)->size;
}

// The text in the language the resource loader prefers, in the ANSI code page, cut to
// whole characters that fit before the terminator.  The block is needed only up to the
// wanted entry; one shorter than those counts claim holds no text.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int bufferSize) {
    if (buffer == nullptr || bufferSize <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = 0;
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING);
    if (resource == nullptr) {
        return 0;
    }
    platform::StringBlockEntry entry;
    if (!platform::FindStringBlockEntry(static_cast<const BYTE*>(EntryOf(resource)->data), EntryOf(resource)->size,
                                        static_cast<int>(id & 15u), static_cast<int>(id & 15u), entry)) {
        return 0;
    }
    const WORD units = entry.count;
    std::vector<WCHAR> text(units);
    for (WORD i = 0; i < units; ++i) {
        text[i] = platform::StringBlockUnit(entry, i);
    }
    const int narrowSize = WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    if (narrowSize <= 0) {
        return 0;
    }
    std::vector<char> narrow(static_cast<std::size_t>(narrowSize) + 1, 0);
    WideCharToMultiByte(CP_ACP, 0, text.data(), units, narrow.data(), narrowSize, nullptr, nullptr);
    int length = 0;
    for (;;) {
        const int step = platform::NarrowCharLength(narrow.data() + length);
        if (step <= 0 || length + step > bufferSize - 1) {
            break;
        }
        length += step;
    }
    std::memcpy(buffer, narrow.data(), static_cast<std::size_t>(length));
    buffer[length] = 0;
    return length;
}
