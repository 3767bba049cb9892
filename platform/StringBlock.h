// The walk of a string-table block, the one resource format that both the text loader and
// the POSIX LoadStringA read.
//
// A block holds 16 entries in a row, each a count of UTF-16 units followed by that many
// units, little-endian.  The walk never reads outside the block's size: an entry whose
// count claims more than the rest of the block is a refusal, never a read past its end.
#pragma once

#include "platform/Platform.h"

namespace platform {

constexpr int kStringBlockEntries = 16;

struct StringBlockEntry {
    const BYTE* units = nullptr;  // little-endian UTF-16, not terminated
    WORD count = 0;
};

// Entry `wanted` (0 to 15) of the `size` bytes at `block`.  Entries 0 to `checkedThrough`
// (at least `wanted`, at most 15) must all lie within the block; an absent text (count 0)
// is not found.  `found` is empty unless the entry is found.
bool FindStringBlockEntry(const BYTE* block, DWORD size, int wanted, int checkedThrough, StringBlockEntry& found);

// Unit `index` of an entry found by the walk.
WORD StringBlockUnit(const StringBlockEntry& entry, WORD index);

}  // namespace platform
