#include "cameraserver/LogFile.h"

#include "platform/posix/Descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace cameraserver {

void AppendLogLine(const char* path, const std::string& line) noexcept {
    // O_NOFOLLOW refuses a link, O_NONBLOCK keeps a FIFO from holding the open.
    const platform::posix::Descriptor log(
        open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
    struct stat status {};
    if (!log.IsEmpty() && fstat(log.Get(), &status) == 0 && S_ISREG(status.st_mode)) {
        // One write, so that the lines of two processes never interleave within a line.
        char end[] = "\n";
        iovec parts[] = {{const_cast<char*>(line.data()), line.size()}, {end, 1}};
        const ssize_t written = writev(log.Get(), parts, 2);
        static_cast<void>(written);
    }
}

}  // namespace cameraserver
