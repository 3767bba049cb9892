// Loading catalogue texts from a module's string tables, with the language fallback
// every message goes through.
#include "text/TextString.h"

#include "camera/ScopedBlock.h"

namespace {

constexpr LANGID kEnglishUnitedStates = 0x0409;
constexpr int kEntriesPerBlock = 16;
constexpr int kLoadStringLimit = 1024;

WORD ReadUnit(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

struct BlockEntry {
    const BYTE* units = nullptr;  // little-endian UTF-16, not terminated
    WORD count = 0;
};

// The text at `wanted` (0 to 15) of a string-table block: 16 entries in a row, each a
// count and that many UTF-16 units.  The whole block must lie within its resource's size;
// a block whose counts claim more than that is refused as a whole, so nothing is read
// past its end.  An absent text (count 0) is not found.
bool FindInBlock(const BYTE* block, DWORD size, int wanted, BlockEntry& found) {
    DWORD offset = 0;
    for (int entry = 0; entry < kEntriesPerBlock; ++entry) {
        if (size - offset < 2) {
            return false;
        }
        const WORD count = ReadUnit(block + offset);
        offset += 2;
        if ((size - offset) / 2 < count) {
            return false;
        }
        if (entry == wanted && count != 0) {
            found.units = block + offset;
            found.count = count;
        }
        offset += 2u * count;
    }
    return found.count != 0;
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
        FindResourceExA(module, RT_STRING, MAKEINTRESOURCEA(id / kEntriesPerBlock + 1), language);
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
    BlockEntry entry;
    if (!FindInBlock(block, SizeofResource(module, resource), id % kEntriesPerBlock, entry)) {
        return false;
    }
    // The copy stops at a zero unit inside the text: the text ends there.
    HeapBlock<WCHAR> wide = NewHeapBlock<WCHAR>(static_cast<SIZE_T>(entry.count) + 1);
    bool ended = false;
    for (WORD i = 0; i < entry.count; ++i) {
        const WORD unit = ended ? 0 : ReadUnit(entry.units + 2u * i);
        ended = unit == 0;
        wide.Get()[i] = static_cast<WCHAR>(unit);
    }
    wide.Get()[entry.count] = 0;
    AssignWide(wide.Get());
    return true;
}
