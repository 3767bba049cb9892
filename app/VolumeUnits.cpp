#include "app/VolumeUnits.h"

#include "platform/SystemApi.h"

bool QueryVolumeUnits(const platform::CardFolder& card, const char* folder, VolumeUnits* units) {
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD totalClusters = 0;
    if (!platform::sys.CardGetDiskFreeSpaceA(card.Get(), folder, &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                             &totalClusters)) {
        return false;
    }
    units->bytesPerSector = bytesPerSector;
    units->cluster = static_cast<ULONGLONG>(sectorsPerCluster) * bytesPerSector;
    return true;
}
