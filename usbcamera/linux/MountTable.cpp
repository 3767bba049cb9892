#include "usbcamera/linux/MountTable.h"

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
    // id parent major:minor root mount-point options [optional...] - type source super-options
    struct Entry {
        std::string id;
        std::string parent;
        std::string number;
        std::string root;
        std::string mountPoint;  // as the table spells it: equal spellings are equal paths
        bool readOnly = false;
    };
    std::vector<Entry> entries;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) {
            fields.push_back(word);
        }
        std::size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (separator >= fields.size()) {
            continue;
        }
        const bool readOnly = HasOption(fields[5], "ro") ||
                              (separator + 3 < fields.size() && HasOption(fields[separator + 3], "ro"));
        entries.push_back(Entry{fields[0], fields[1], fields[2], fields[3], fields[4], readOnly});
    }
    // A path reaches the topmost of the mounts stacked on it: a mount with another mounted
    // on the same point after it (its child there) is covered, and what is written to that
    // path goes to the covering file system.
    const auto covered = [&entries](const Entry& mount) {
        for (const Entry& other : entries) {
            if (other.parent == mount.id && other.mountPoint == mount.mountPoint) {
                return true;
            }
        }
        return false;
    };
    bool any = false;
    for (const Entry& entry : entries) {
        if (entry.number != number || entry.root != "/" || covered(entry)) {
            continue;
        }
        if (!any || (found.readOnly && !entry.readOnly)) {
            found.path = DecodeField(entry.mountPoint);
            found.readOnly = entry.readOnly;
            any = true;
        }
    }
    return any;
}

}  // namespace usbcamera
