#include "app/CardBounds.h"

#include "platform/SystemApi.h"

CardBounds::CardBounds(const CardLayout& card) { platform::sys.BeginCardBounds(card.Drive()); }

CardBounds::~CardBounds() {
    const DWORD error = GetLastError();
    platform::sys.EndCardBounds();
    SetLastError(error);
}
