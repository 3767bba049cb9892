// The memory-card probe and the package write.
#pragma once

#include "platform/Platform.h"
#include "text/TextString.h"

// Free-space counts of the volume that holds a folder, as the free-space query reports them.
struct CardSpace {
    ULARGE_INTEGER freeBytesAvailable;  // to the caller
    ULARGE_INTEGER totalBytes;
    ULARGE_INTEGER totalFreeBytes;
};

// What the camera's drive reports while no card is inserted: available equal to total
// free in all 64 bits, available's low half 0xFFFF0000, total's low half 0.
bool IsNoCardPattern(const CardSpace& space);

// Queries the free space of `folderPath` twice, 1000 ms apart (the second query only after a
// successful first), and says whether a usable card is present.  The counters are zeroed
// first and hold the counts of the query that counts.  Raises nothing.
bool ProbeMemoryCard(TextString folderPath, ULARGE_INTEGER* freeBytesAvailable, ULARGE_INTEGER* totalBytes,
                     ULARGE_INTEGER* totalFreeBytes);

// True when a payload of `payloadSize` bytes does not fit into the space available to the
// caller (compared in 64 bits; a payload exactly as large fits).
bool PayloadExceedsFreeSpace(DWORD payloadSize, const ULARGE_INTEGER& freeBytesAvailable);

// Writes the package as one file in one write, replacing a file of the same name, and makes
// sure it reached the card.  `bytesWritten` receives what the write reported.  True only
// when every byte was written and flushed and the file was closed; on any failure a file
// that was created is deleted again, so the camera never finds a partial package.
bool WritePackageFile(const char* filePath, const BYTE* payload, DWORD payloadSize, DWORD* bytesWritten);
