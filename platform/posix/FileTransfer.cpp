// The services on an open file: one read or one write, the flush and the close.  Failures set
// the Windows error that the same failure gives there.
#include "platform/posix/DescriptorHandles.h"
#include "platform/posix/ErrnoError.h"
#include "platform/posix/Win32Api.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using platform::posix::DescriptorFromHandle;
using platform::posix::ErrorFromErrno;

namespace {

// One read or one write: the count reports what the system moved, which may be less than
// asked (a full volume, a file-size limit, the end of the file); nothing is retried except
// a call that a signal interrupted before it moved anything.
template <typename Transfer>
BOOL TransferOnce(HANDLE file, LPDWORD transferred, LPOVERLAPPED overlapped, Transfer transfer) {
    if (transferred != nullptr) {
        *transferred = 0;
    }
    int descriptor = -1;
    if (!DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (overlapped != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ssize_t count = -1;
    do {
        count = transfer(descriptor);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        // A handle opened for the other direction only is open, and Windows refuses it access.
        const bool open = errno == EBADF && fcntl(descriptor, F_GETFD) >= 0;
        SetLastError(open ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
        return FALSE;
    }
    if (transferred != nullptr) {
        *transferred = static_cast<DWORD>(count);
    }
    return TRUE;
}

}  // namespace

// A write that the device took only in part is followed by one more write of the rest, to
// learn why: a device out of room fails it (Windows fails a write that does not fit with
// ERROR_DISK_FULL), with what was written counted; anything else (a file-size limit, a
// signal) leaves the short count, as one write reported it.
BOOL WriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    DWORD first = 0;
    if (!TransferOnce(file, &first, overlapped, [&](int descriptor) { return ::write(descriptor, data, size); })) {
        if (written != nullptr) {
            *written = 0;
        }
        return FALSE;
    }
    if (written != nullptr) {
        *written = first;
    }
    if (first == 0 || first == size) {
        return TRUE;
    }
    const auto* rest = static_cast<const char*>(data) + first;
    DWORD more = 0;
    const bool wrote = TransferOnce(file, &more, nullptr, [&](int descriptor) {
        return ::write(descriptor, rest, size - first);
    }) != 0;
    if (!wrote && (errno == ENOSPC || errno == EDQUOT)) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (written != nullptr) {
        *written = first + more;
    }
    return TRUE;
}

// 0 bytes read at the end of the file.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    return TransferOnce(file, read, overlapped, [&](int descriptor) { return ::read(descriptor, buffer, size); });
}

BOOL FlushFileBuffers(HANDLE file) {
    int descriptor = -1;
    if (!DescriptorFromHandle(file, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (fsync(descriptor) != 0) {
        // EINVAL: a descriptor that cannot be synchronized, as Windows refuses a console.
        SetLastError(errno == EINVAL ? ERROR_INVALID_HANDLE : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    int descriptor = -1;
    if (!DescriptorFromHandle(handle, descriptor)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The descriptor is released whatever close reports; EINTR is no failure here.
    if (close(descriptor) != 0 && errno != EINTR) {
        SetLastError(ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}
