// An owner of one open file descriptor.
#pragma once

#include <cerrno>
#include <unistd.h>

namespace platform::posix {

// An open file descriptor, closed on every path; negative when there is none.
class Descriptor {
public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return descriptor_; }

    // Closes it now; the caller's errno is kept.
    void Reset() {
        if (descriptor_ >= 0) {
            const int saved = errno;
            close(descriptor_);
            errno = saved;
            descriptor_ = -1;
        }
    }

private:
    int descriptor_;
};
static_assert(sizeof(Descriptor) == sizeof(int), "an owner is the descriptor alone");

}  // namespace platform::posix
