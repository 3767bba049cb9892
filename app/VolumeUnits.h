// The sizes a card's volume works in, as the volume tells them.
#pragma once

#include "platform/CardFolder.h"
#include "platform/Platform.h"

struct VolumeUnits {
    DWORD bytesPerSector = 0;  // what unbuffered reads are aligned to
    ULONGLONG cluster = 0;     // the allocation unit: sectors per cluster times bytes per sector
};

// The units of the volume that holds `folder` on the card; false when the query fails.
bool QueryVolumeUnits(const platform::CardFolder& card, const char* folder, VolumeUnits* units);
