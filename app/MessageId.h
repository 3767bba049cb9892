// The catalogue texts by which every message is named (their ids: resources/ResourceIds.h).
#pragma once

#include "resources/ResourceIds.h"

enum MessageId : int {
    kMsgUpgradeDone = IDS_UPGRADE_DONE,
    kMsgUpgradeFailed = IDS_UPGRADE_FAILED,
    kMsgMoreThanOneCamera = IDS_SEVERAL_CAMERAS,
    kMsgNoCamera = IDS_NO_CAMERA,
    kMsgConfirm = IDS_CONFIRM,
    kMsgDisconnected = IDS_DISCONNECTED,
    kMsgCaption = IDS_CAPTION,
    kMsgSoftwareMissing = IDS_SOFTWARE_MISSING,
    kMsgCardFull = IDS_CARD_FULL,
    kMsgNoCard = IDS_NO_CARD,
};
