#include "platform/posix/ShareModes.h"

#include "platform/posix/ErrnoError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace platform::posix {

bool ShareFile(int descriptor, int folder, const char* name, DWORD access, DWORD share) {
    int lock = 0;
    if ((share & FILE_SHARE_WRITE) == 0) {
        lock = LOCK_EX;
    } else if ((access & GENERIC_WRITE) != 0) {
        lock = LOCK_SH;
    }
    if (lock == 0) {
        return true;
    }
    int result = -1;
    do {
        result = flock(descriptor, lock | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        SetLastError(errno == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(errno));
        return false;
    }
    struct stat held {};
    struct stat named {};
    if (fstat(descriptor, &held) != 0 || fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return false;
    }
    return true;
}

}  // namespace platform::posix
