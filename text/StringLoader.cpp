// Loading catalogue texts from a module's string tables, with the language fallback
// every message goes through.
#include "text/TextString.h"

#include "com/ScopedBlock.h"
#include "platform/StringBlock.h"

namespace {

constexpr LANGID kEnglishUnitedStates = 0x0409;
constexpr int kLoadStringLimit = 1024;

// False when the ANSI code page lacks a character of `text`, which would then show as a
// question mark: such a text is no candidate, and the language chain goes on to one the
// code page holds (English at the latest).  UTF-8 holds every character.
bool Representable(const WCHAR* text) {
    if (GetACP() == CP_UTF8) {
        return true;
    }
    BOOL usedDefault = FALSE;
    platform::sys.WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, &usedDefault);
    return usedDefault == FALSE;
}

}  // namespace

bool TextString::LoadLocalized(int id, LANGID language, bool fallback, HMODULE module) {
    if (LoadInLanguage(id, language, module)) {
        return true;
    }
    if (!fallback) {
        return false;
    }
    const LANGID systemLanguage = platform::sys.GetSystemDefaultLangID();
    if (systemLanguage != language && LoadInLanguage(id, systemLanguage, module)) {
        return true;
    }
    // From the requested language, and tried even when it is the requested one.
    const auto primaryDefault = static_cast<LANGID>((language & 0x3FF) | 0x400);
    if (LoadInLanguage(id, primaryDefault, module)) {
        return true;
    }
    return LoadInLanguage(id, kEnglishUnitedStates, module);
}

bool TextString::LoadInLanguage(int id, LANGID language, HMODULE module) {
    Clear();
    if (language != 0) {
        return LoadFromStringBlock(module, id, language);
    }
    // No particular language: the system's loader picks one and converts the text itself.
    char* text = GetWriteBuffer(kLoadStringLimit);
    ReleaseWriteBuffer(LoadStringA(module, static_cast<UINT>(id), text, kLoadStringLimit));
    return Length() != 0;
}

bool TextString::LoadFromStringBlock(HMODULE module, int id, LANGID language) {
    const HRSRC resource =
        FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(id / platform::kStringBlockEntries + 1), language);
    if (resource == nullptr) {
        return false;
    }
    const HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) {
        return false;
    }
    const auto* block = static_cast<const BYTE*>(LockResource(loaded));
    if (block == nullptr) {
        return false;
    }
    // The whole block must lie within its resource's size, so a block whose counts claim
    // more than that is refused as a whole.
    platform::StringBlockEntry entry;
    if (!platform::FindStringBlockEntry(block, SizeofResource(module, resource), id % platform::kStringBlockEntries,
                                        platform::kStringBlockEntries - 1, entry)) {
        return false;
    }
    // The copy stops at a zero unit inside the text: the text ends there.
    HeapBlock<WCHAR> wide = NewHeapBlock<WCHAR>(static_cast<SIZE_T>(entry.count) + 1);
    bool ended = false;
    for (WORD i = 0; i < entry.count; ++i) {
        const WORD unit = ended ? 0 : platform::StringBlockUnit(entry, i);
        ended = unit == 0;
        wide.Get()[i] = static_cast<WCHAR>(unit);
    }
    wide.Get()[entry.count] = 0;
    if (!Representable(wide.Get())) {
        return false;
    }
    AssignWide(wide.Get());
    return true;
}
