#include "MountTable.h"

#include <sstream>
#include <vector>

namespace usbcamera {

namespace {

bool IsOctal(char c) { return c >= '0' && c <= '7'; }

bool HasOption(const std::string& options, const std::string& option) {
    std::istringstream list(options);
    for (std::string item; std::getline(list, item, ',');) {
        if (item == option) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string DecodeField(const std::string& field) {
    std::string decoded;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            decoded += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            decoded += field[i];
        }
    }
    return decoded;
}

bool FindMount(const std::string& text, const std::string& number, MountPoint& found) {
    bool any = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) {
            fields.push_back(word);
        }
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (separator >= fields.size() || fields[2] != number || fields[3] != "/") {
            continue;
        }
        const bool readOnly = HasOption(fields[5], "ro") ||
                              (separator + 3 < fields.size() && HasOption(fields[separator + 3], "ro"));
        if (!any || (found.readOnly && !readOnly)) {
            found.path = DecodeField(fields[4]);
            found.readOnly = readOnly;
            any = true;
        }
    }
    return any;
}

}  // namespace usbcamera
