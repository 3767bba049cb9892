// errno, taken when made and put back when it goes: what an owner keeps around a close it
// makes on the caller's behalf, so that the caller still reads the errno of its own failed
// call afterwards.
#pragma once

#include <cerrno>

namespace platform::posix {

class KeptErrno {
public:
    KeptErrno() noexcept : error_(errno) {}
    ~KeptErrno() { errno = error_; }
    KeptErrno(const KeptErrno&) = delete;
    KeptErrno& operator=(const KeptErrno&) = delete;

private:
    int error_;
};

}  // namespace platform::posix
