// The owner of the card's bounds: from its construction to its destruction the file services
// serve only the card of the layout given, and resolve nothing below its drive folder off
// it (platform::sys.BeginCardBounds).
#pragma once

#include "app/CardLayout.h"

class CardBounds {
public:
    explicit CardBounds(const CardLayout& card);
    // Ends the bounds; the caller's last error is kept.
    ~CardBounds();
    CardBounds(const CardBounds&) = delete;
    CardBounds& operator=(const CardBounds&) = delete;
};
