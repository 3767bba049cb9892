// The device tree as Windows shows it, through the real calls (Windows only).
#pragma once

#include <memory>

#include "usbcamera/windows/DeviceTree.h"

namespace usbcamera {

std::unique_ptr<DeviceTree> OpenWin32DeviceTree();

}  // namespace usbcamera
