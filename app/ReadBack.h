// Reading a written file back from the card and comparing it with what was meant to be
// written.
#pragma once

#include "platform/CardFolder.h"
#include "platform/Platform.h"

// Bytes read per request into one buffer on the stack, aligned for the largest sector size
// read back (memory card and disk sectors are 512 bytes or 4 KiB): memory stays bounded
// whatever the file's size, and none of it comes from the heap.
constexpr DWORD kReadBackChunk = 64 * 1024;
constexpr DWORD kReadBackLargestSector = 4096;

// True when the file `name` on the card holds exactly the `size` bytes at `expected`.  The
// file is read without the system's cache (what is compared is what the device returns), in
// chunks aligned to the sector size of the volume that holds `folder`, into a buffer aligned
// to it.  A volume whose sector size is no power of two up to kReadBackLargestSector, or any
// failure to open, read or close, counts as a mismatch.
bool ReadBackMatches(const platform::CardFolder& card, const char* name, const char* folder, const BYTE* expected,
                     DWORD size);
