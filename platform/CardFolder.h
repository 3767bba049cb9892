// The owner of an open card (platform::sys.OpenCardFolder), closed through the seam: the
// object the card's file services take, so that nothing on the card is reached without it.
//
//   const platform::CardFolder card(platform::sys.OpenCardFolder(drive));
//   platform::sys.CardDeleteFileA(card.Get(), "Current\\Firmware\\R5610200.fw~");
//
// An owner whose drive folder could not be opened is empty, and every service fails on it.
#pragma once

#include "platform/KeptLastError.h"
#include "platform/Platform.h"
#include "platform/ScopedHandle.h"
#include "platform/SystemApi.h"

namespace platform {

struct CardFolderKind {
    using Type = HANDLE;
    using KeptError = KeptLastError;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool Close(Type card) noexcept { return sys.CloseCardFolder(card) != 0; }
};

using CardFolder = ScopedHandle<CardFolderKind>;

}  // namespace platform
