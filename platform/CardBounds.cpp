#include "platform/CardBounds.h"

#include <cstring>

namespace platform {
namespace {

// Longer than any path the file services of either system take (POSIX's PATH_MAX, Windows'
// MAX_PATH for the "A" functions).
constexpr std::size_t kLongestDrive = 4096;

struct Bounds {
    bool declared = false;
    bool admitsNone = false;
    std::size_t length = 0;
    char drive[kLongestDrive] = {};
};
Bounds g_bounds;

}  // namespace

void BeginCardBounds(LPCSTR driveFolder) {
    const std::size_t length = driveFolder != nullptr ? std::strlen(driveFolder) : 0;
    g_bounds.declared = true;
    g_bounds.admitsNone = length == 0 || length >= kLongestDrive;
    g_bounds.length = g_bounds.admitsNone ? 0 : length;
    if (!g_bounds.admitsNone) {
        std::memcpy(g_bounds.drive, driveFolder, length + 1);
    }
}

void EndCardBounds() { g_bounds = Bounds{}; }

CardPlace PlaceOf(LPCSTR path) {
    if (!g_bounds.declared) {
        return CardPlace{CardPlace::kNoBounds, 0};
    }
    // Byte for byte: the core builds every path on the card from the drive folder it declared.
    if (g_bounds.admitsNone || path == nullptr || std::strncmp(path, g_bounds.drive, g_bounds.length) != 0) {
        return CardPlace{CardPlace::kOffCard, 0};
    }
    return CardPlace{CardPlace::kOnCard, g_bounds.length};
}

}  // namespace platform
