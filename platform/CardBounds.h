// The card's bounds as the core declares them (platform::sys.BeginCardBounds), for the file
// services of each system: whether a path lies on the card, and where in it the card's drive
// folder ends and what lies below it begins.
//
// One card at a time, declared and withdrawn by the thread that works on the card; the file
// services only read what is declared.
#pragma once

#include "platform/Platform.h"

#include <cstddef>

namespace platform {

// From here until EndCardBounds the file services serve only paths that begin with
// `driveFolder` (as the card layout checked it: absolute, ending in a separator).  The text
// is copied; one longer than any path the services take admits no path at all.
void BeginCardBounds(LPCSTR driveFolder);
void EndCardBounds();

// Where a path of the file services lies against the card's bounds in force.
struct CardPlace {
    enum Kind {
        kNoBounds,  // none declared: an ordinary path, resolved as the system resolves it
        kOnCard,    // below the card's drive folder
        kOffCard,   // bounds declared, and the path is not the card's: refused
    };
    Kind kind;
    std::size_t driveLength;  // kOnCard: the bytes of the drive folder at the path's start
};

CardPlace PlaceOf(LPCSTR path);

}  // namespace platform
