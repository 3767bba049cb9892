#include "usbcamera/TableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/Descriptor.h"

namespace usbcamera {

bool ReadTableFile(const std::string& path, std::string& text, std::string& problem) {
    text.clear();
    // A link is followed (a packager may keep the table elsewhere), but opening waits for
    // no FIFO's writer and takes no terminal; what was opened is then looked at.
    const platform::posix::Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.IsEmpty()) {
        problem = std::strerror(errno);
        return false;
    }
    struct stat status {};
    bool read = false;
    if (fstat(file.Get(), &status) != 0) {
        problem = std::strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        problem = "not a regular file";
    } else if (static_cast<unsigned long long>(status.st_size) > kTableFileLimit) {
        problem = "larger than " + std::to_string(kTableFileLimit) + " bytes";
    } else {
        // The size may have grown since: at most one byte past the limit tells.
        char buffer[4096];
        read = true;
        while (read) {
            const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
            if (got > 0) {
                text.append(buffer, static_cast<std::size_t>(got));
                if (text.size() > kTableFileLimit) {
                    problem = "larger than " + std::to_string(kTableFileLimit) + " bytes";
                    read = false;
                }
            } else if (got == 0) {
                break;
            } else if (errno != EINTR) {
                problem = std::strerror(errno);
                read = false;
            }
        }
    }
    if (!read) {
        text.clear();
    }
    return read;
}

}  // namespace usbcamera
