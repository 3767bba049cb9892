#include "platform/posix/ErrnoError.h"

#include <cerrno>

namespace platform::posix {

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
        return ERROR_ACCESS_DENIED;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case EXDEV:
        return ERROR_NOT_SAME_DEVICE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    // A file-size limit (RLIMIT_FSIZE) or the file system's largest file: the card may well
    // have room, and a failed write says so better than a full card.
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case EIO:
        return ERROR_WRITE_FAULT;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    default:
        return ERROR_GEN_FAILURE;
    }
}

}  // namespace platform::posix
