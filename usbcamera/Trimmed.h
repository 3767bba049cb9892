// Text as the component's files and devices give it, without the blanks around it.
#pragma once

#include <string>

namespace usbcamera {

// `text` without spaces, tabs and line ends at either end.
inline std::string Trimmed(const std::string& text) {
    const char* const blanks = " \t\r\n";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace usbcamera
