// The catalogue texts by which every message is named.
#pragma once

enum MessageId : int {
    kMsgUpgradeDone = 130,        // switch off, unplug, switch on
    kMsgUpgradeFailed = 131,
    kMsgMoreThanOneCamera = 132,  // %1 model name
    kMsgNoCamera = 133,           // %1 model name
    kMsgConfirm = 134,            // %1 model name, %2 version label, %3!d! KB needed
    kMsgDisconnected = 135,       // %1 model name, %2 the drive (its letter on Windows)
    kMsgCaption = 136,
    kMsgSoftwareMissing = 137,    // %1 model name
    kMsgCardFull = 138,
    kMsgNoCard = 139,
};
