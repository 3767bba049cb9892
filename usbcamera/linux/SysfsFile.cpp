#include "usbcamera/linux/SysfsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/Descriptor.h"

namespace usbcamera {

bool ReadWholeFile(const std::string& path, std::string& content) {
    content.clear();
    const platform::posix::Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.IsEmpty()) {
        return false;
    }
    char buffer[4096];
    bool ok = true;
    for (;;) {
        const ssize_t got = read(file.Get(), buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            ok = false;
            break;
        }
    }
    return ok;
}

std::string ReadAttribute(const std::string& path) {
    std::string content;
    return ReadWholeFile(path, content) ? Trimmed(content) : std::string();
}

bool Exists(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0;
}

}  // namespace usbcamera
