#include "text/Catalogue.h"

#include "text/TextString.h"

#include "com/ScopedBlock.h"
#include "platform/StringBlock.h"
#include "platform/SystemApi.h"

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

bool Catalogue::LoadLocalized(TextString& text, int id, LANGID language, bool fallback) const {
    if (LoadInLanguage(text, id, language)) {
        return true;
    }
    if (!fallback) {
        return false;
    }
    const LANGID systemLanguage = platform::sys.GetSystemDefaultLangID();
    if (systemLanguage != language && LoadInLanguage(text, id, systemLanguage)) {
        return true;
    }
    // From the requested language, and tried even when it is the requested one.
    const auto primaryDefault = static_cast<LANGID>((language & 0x3FF) | 0x400);
    if (LoadInLanguage(text, id, primaryDefault)) {
        return true;
    }
    return LoadInLanguage(text, id, kEnglishUnitedStates);
}

bool Catalogue::LoadInLanguage(TextString& text, int id, LANGID language) const {
    text.Clear();
    if (language != 0) {
        return LoadFromStringBlock(text, id, language);
    }
    // No particular language: the system's loader picks one and converts the text itself.
    char* buffer = text.GetWriteBuffer(kLoadStringLimit);
    text.ReleaseWriteBuffer(LoadStringA(module_, static_cast<UINT>(id), buffer, kLoadStringLimit));
    return text.Length() != 0;
}

bool Catalogue::LoadFromStringBlock(TextString& text, int id, LANGID language) const {
    const HRSRC resource =
        FindResourceExA(module_, RT_STRING, MAKEINTRESOURCEA(id / platform::kStringBlockEntries + 1), language);
    if (resource == nullptr) {
        return false;
    }
    const HGLOBAL loaded = LoadResource(module_, resource);
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
    if (!platform::FindStringBlockEntry(block, SizeofResource(module_, resource), id % platform::kStringBlockEntries,
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
    text.AssignWide(wide.Get());
    return true;
}
