// The memory-card probe and the package write, on a card opened for them: every path here
// lies below the card's drive folder.
#pragma once

#include "app/PackagePaths.h"
#include "platform/CardFolder.h"
#include "platform/Platform.h"

// Free-space counts of the volume that holds a folder, as the free-space query reports them.
struct CardSpace {
    ULARGE_INTEGER freeBytesAvailable;  // to the caller
    ULARGE_INTEGER totalBytes;
    ULARGE_INTEGER totalFreeBytes;
};

// What the camera's drive reports while no card is inserted: available equal to total
// free in all 64 bits, available's low half 0xFFFF0000, total's low half 0.
bool IsNoCardPattern(const CardSpace& space);

// Queries the free space of `folder` on the card twice, 1000 ms apart (the second query only
// after a successful first), and says whether a usable card is present.  `space` is zeroed
// first and holds the counts of the query that counts.  A card that could not be opened
// fails the query: the pause is still made, and no card is found.  Raises nothing.
bool ProbeMemoryCard(const platform::CardFolder& card, const char* folder, CardSpace& space);

// Removes the staging file that an interrupted run may have left beside the package, so that
// its space counts as free when the card is probed.  The name is this program's own; an
// older package stays until a new one has been verified.
void RemoveLeftoverStaging(const platform::CardFolder& card, const char* stagingPath);

// The allocation unit of the volume that holds `folderPath` on the card (a cluster: sectors
// per cluster times bytes per sector); 1 where the volume does not tell it, so that bytes are
// compared.
ULONGLONG AllocationUnit(const platform::CardFolder& card, const char* folderPath);

// True when a file of `payloadSize` bytes does not fit into the space available to the
// caller on a volume whose allocation unit is `unit` bytes: the file takes whole units, and
// one more unit is kept for the staging file's folder entry (compared in 64 bits).
bool PayloadExceedsFreeSpace(DWORD payloadSize, ULONGLONG unit, const ULARGE_INTEGER& freeBytesAvailable);

// Writes the package so that the package's name only ever holds a complete package: the
// payload goes in one write to the staging file (replacing one an interrupted run left),
// which is flushed and read back from the card; only a file that matches the payload byte
// for byte is moved over the package's name, in one step that replaces an older package
// and returns once the move is on the card, and is flushed again under its new name.  From
// its creation to its move the staging file is held against other writers: a second run at
// the same time fails, and leaves this run's file alone.  Last, the package must be found
// under its name as a regular file of the payload's size, on a volume that still takes
// writes.  `bytesWritten` receives what the write reported.  Written only when all of that
// succeeded; on a failure up to the move the staging file is removed and an older package
// stays as it was; a failure after it (the move not on the card, the flush, the close, the
// last look) leaves the new package in place and is reported all the same.  A step that
// failed for lack of room (the create, the write, a flush, the move, the close) makes it
// NoRoom.
enum class WriteOutcome { Written, NoRoom, Failed };
WriteOutcome WritePackageFile(const platform::CardFolder& card, const PackagePaths& paths, const BYTE* payload,
                              DWORD payloadSize, DWORD* bytesWritten);
