#include "platform/StringBlock.h"

namespace platform {
namespace {

WORD ReadUnit(const BYTE* p) { return static_cast<WORD>(p[0] | (p[1] << 8)); }

}  // namespace

bool FindStringBlockEntry(const BYTE* block, DWORD size, int wanted, int checkedThrough, StringBlockEntry& found) {
    found = StringBlockEntry{};
    StringBlockEntry candidate;
    DWORD offset = 0;
    for (int entry = 0; entry <= checkedThrough; ++entry) {
        if (size - offset < 2) {
            return false;
        }
        const WORD count = ReadUnit(block + offset);
        offset += 2;
        if ((size - offset) / 2 < count) {
            return false;
        }
        if (entry == wanted) {
            candidate = StringBlockEntry{block + offset, count};
        }
        offset += 2u * count;
    }
    found = candidate;
    return found.count != 0;
}

WORD StringBlockUnit(const StringBlockEntry& entry, WORD index) { return ReadUnit(entry.units + 2u * index); }

}  // namespace platform
