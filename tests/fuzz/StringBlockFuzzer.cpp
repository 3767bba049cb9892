// The string-table block walk with arbitrary block bytes of arbitrary size, reached the
// way the program reaches its catalogue: this program carries one string-table resource
// (block 9, English) in its embedded resource directory, and each input replaces that
// resource's bytes and size.
//
// The input's first byte picks the entry (low four bits, ids 128 to 143), the locale
// (bit 4: "C" or UTF-8) and a buffer size for LoadStringA (bits 5 to 7); the rest is the
// block.  Checked against a walk of the block format done here: the loader with a
// language finds a text only in a block that lies wholly within its size and only when
// the code page holds its characters, and gives it up to its first zero unit; the no-language path (LoadStringA) needs the block only up
// to the wanted entry and cuts the text at whole characters before its buffer ends.
#include "tests/fuzz/FuzzCheck.h"

#include "platform/posix/ResourceDirectory.h"
#include "text/Catalogue.h"
#include "text/ModuleFromAddress.h"
#include "text/TextString.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr WORD kBlockName = 9;
constexpr int kFirstId = (kBlockName - 1) * 16;
constexpr LANGID kEnglish = 0x0409;
constexpr int kLoaderBuffer = 1024;  // what LoadInLanguage hands LoadStringA

platform::posix::EmbeddedResource block[] = {{6, kBlockName, kEnglish, nullptr, 0}};

}  // namespace

extern "C" const platform::posix::EmbeddedResourceDirectory fwupgrade_embedded_resources = {block, 1};

namespace {

WORD UnitAt(const std::uint8_t* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

// The units of entry `wanted` when entries 0 to `last` all lie within the block; false
// for a block shorter than those counts claim, or an absent entry.
bool EntryUnits(const std::uint8_t* bytes, std::size_t size, int wanted, int last, std::u16string& units) {
    std::size_t offset = 0;
    for (int entry = 0; entry <= last; ++entry) {
        if (size - offset < 2) {
            return false;
        }
        const std::size_t count = UnitAt(bytes + offset);
        offset += 2;
        if (size - offset < 2 * count) {
            return false;
        }
        if (entry == wanted) {
            for (std::size_t i = 0; i < count; ++i) {
                units += static_cast<char16_t>(UnitAt(bytes + offset + 2 * i));
            }
        }
        offset += 2 * count;
    }
    return !units.empty();
}

// The units in the ANSI code page, up to the first zero byte.
std::string NarrowOf(const std::u16string& units) {
    if (units.empty()) {
        return {};
    }
    const int length = static_cast<int>(units.size());
    const int bytes = WideCharToMultiByte(CP_ACP, 0, units.data(), length, nullptr, 0, nullptr, nullptr);
    FUZZ_CHECK(bytes > 0);
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    FUZZ_CHECK(WideCharToMultiByte(CP_ACP, 0, units.data(), length, &narrow[0], bytes, nullptr, nullptr) == bytes);
    return narrow.substr(0, std::strlen(narrow.c_str()));
}

// Whether the ANSI code page holds every character of `units`: the loader passes over a
// text that would show default characters.  UTF-8 holds them all.
bool Representable(const std::u16string& units) {
    if (GetACP() == CP_UTF8 || units.empty()) {
        return true;
    }
    BOOL usedDefault = FALSE;
    FUZZ_CHECK(WideCharToMultiByte(CP_ACP, 0, units.data(), static_cast<int>(units.size()), nullptr, 0, nullptr,
                                   &usedDefault) > 0);
    return usedDefault == FALSE;
}

// A text cut to fit `bufferSize` bytes with its terminator: a prefix of `whole`, short
// of the room by less than one character.
void CheckCut(const char* text, std::size_t length, const std::string& whole, std::size_t bufferSize) {
    const std::size_t room = bufferSize - 1;
    FUZZ_CHECK(length <= room);
    FUZZ_CHECK(length <= whole.size());
    FUZZ_CHECK(std::memcmp(text, whole.data(), length) == 0);
    FUZZ_CHECK(text[length] == 0);
    const std::size_t fits = whole.size() < room ? whole.size() : room;
    FUZZ_CHECK(length + static_cast<std::size_t>(MB_CUR_MAX) > fits);
}

void UseLocale(bool utf8) {
    static int current = -1;
    if (current != static_cast<int>(utf8)) {
        FUZZ_CHECK(std::setlocale(LC_ALL, utf8 ? "C.UTF-8" : "C") != nullptr);
        current = static_cast<int>(utf8);
    }
}

constexpr std::size_t kBufferSizes[] = {1, 2, 3, 4, 5, 7, 16, kLoaderBuffer};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int entry = data[0] & 0x0F;
    const int id = kFirstId + entry;
    UseLocale((data[0] & 0x10) != 0);
    const std::size_t bufferSize = kBufferSizes[data[0] >> 5];

    const std::uint8_t* bytes = data + 1;
    const std::size_t length = size - 1;
    block[0].data = bytes;
    block[0].size = static_cast<DWORD>(length);
    const HMODULE module = ModuleFromAddress(reinterpret_cast<const void*>(&LLVMFuzzerTestOneInput));
    const Catalogue catalogue(module);

    // With a language: the whole block must lie within its size, and the text must fit the
    // code page.
    std::u16string whole;
    const bool inBlock = EntryUnits(bytes, length, entry, 15, whole);
    const std::u16string shown = whole.substr(0, whole.find(u'\0'));
    const bool found = inBlock && Representable(shown);
    const std::string expected = NarrowOf(shown);
    TextString text("left over");
    FUZZ_CHECK(catalogue.LoadFromStringBlock(text, id, kEnglish) == found);
    FUZZ_CHECK(std::string(text.Text()) == (found ? expected : std::string("left over")));  // a miss keeps it
    FUZZ_CHECK(catalogue.LoadLocalized(text, id, kEnglish, true) == found);
    FUZZ_CHECK(std::string(text.Text()) == (found ? expected : std::string()));

    // Without one: the block up to the wanted entry, cut at the loader's buffer.
    std::u16string upToEntry;
    const std::string uncut =
        EntryUnits(bytes, length, entry, entry, upToEntry) ? NarrowOf(upToEntry) : std::string();
    FUZZ_CHECK(catalogue.LoadInLanguage(text, id, 0) == !uncut.empty());
    CheckCut(text.Text(), text.Length(), uncut, kLoaderBuffer);

    const std::unique_ptr<char[]> buffer(new char[bufferSize]);
    const int loaded = LoadStringA(module, static_cast<UINT>(id), buffer.get(), static_cast<int>(bufferSize));
    FUZZ_CHECK(loaded >= 0);
    CheckCut(buffer.get(), static_cast<std::size_t>(loaded), uncut, bufferSize);

    block[0].data = nullptr;
    block[0].size = 0;
    return 0;
}
