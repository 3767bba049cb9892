// The table of USB ids to model display names, read from usb-models.txt beside the
// plugin.  The file's own header describes its format.
#pragma once

#include <map>
#include <string>

namespace usbcamera {

class UsbModels {
public:
    // The table in `text`, after a UTF-8 byte-order mark if it has one; lines that are not
    // entries (comments, blanks, malformed) are skipped.
    static UsbModels Parse(const std::string& text);
    // The table in the file at `path`; empty, with why in `problem`, when it cannot be read.
    static UsbModels Load(const std::string& path, std::string& problem);

    // The model name of the device `vendorId`:`productId` (hex, any case); empty when the
    // table does not list it.
    std::string Find(const std::string& vendorId, const std::string& productId) const;

private:
    std::map<std::string, std::string> names_;  // by "vvvv:pppp", lower case
};

}  // namespace usbcamera
