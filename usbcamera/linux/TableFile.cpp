#include "TableFile.h"

#include "SysfsFile.h"

namespace usbcamera {

bool ReadTableFile(const std::string& path, std::string& text) {
    return ReadWholeFile(path, text);
}

}  // namespace usbcamera
