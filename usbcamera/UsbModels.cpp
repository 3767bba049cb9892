#include "usbcamera/UsbModels.h"

#include <algorithm>
#include <cctype>

#include "usbcamera/TableFile.h"
#include "usbcamera/Trimmed.h"

namespace usbcamera {

namespace {

// "vvvv:pppp" in lower case when `id` is four hex digits, a colon and four hex digits;
// empty otherwise.
std::string NormalId(const std::string& id) {
    if (id.size() != 9 || id[4] != ':') {
        return {};
    }
    std::string normal;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const auto c = static_cast<unsigned char>(id[i]);
        if (i != 4 && !std::isxdigit(c)) {
            return {};
        }
        normal += static_cast<char>(std::tolower(c));
    }
    return normal;
}

}  // namespace

UsbModels UsbModels::Parse(const std::string& text) {
    UsbModels table;
    // A byte-order mark, as Windows editors may write before the first line, is no part of it.
    const std::string bom = "\xEF\xBB\xBF";
    // Lines found by hand: a string stream would bring the C++ library's locale machinery
    // into the component, several times its own size.
    for (std::size_t start = text.compare(0, bom.size(), bom) == 0 ? bom.size() : 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string entry = Trimmed(text.substr(start, end - start));
        start = end + 1;
        if (entry.empty() || entry[0] == '#') {
            continue;
        }
        const auto gap = entry.find_first_of(" \t");
        if (gap == std::string::npos) {
            continue;
        }
        const std::string id = NormalId(entry.substr(0, gap));
        const std::string name = Trimmed(entry.substr(gap));
        if (!id.empty() && !name.empty()) {
            table.names_.emplace(id, name);
        }
    }
    return table;
}

UsbModels UsbModels::Load(const std::string& path, std::string& problem) {
    std::string text;
    problem.clear();
    return ReadTableFile(path, text, problem) ? Parse(text) : UsbModels();
}

std::string UsbModels::Find(const std::string& vendorId, const std::string& productId) const {
    const auto it = names_.find(NormalId(vendorId + ":" + productId));
    return it != names_.end() ? it->second : std::string();
}

}  // namespace usbcamera
