// The owner of one open file descriptor, closed when it goes out of scope, on every path.
// Header-only, so that the camera components, which do not link the POSIX layer, use the
// same owner.
#pragma once

#include <unistd.h>

#include <cerrno>

#include <utility>

namespace platform::posix {

class Descriptor {
public:
    Descriptor() noexcept = default;
    // Takes over `descriptor`, which may be -1 (an open that failed).
    explicit Descriptor(int descriptor) noexcept : descriptor_(descriptor) {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept : descriptor_(other.Detach()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.Detach());
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    bool IsOpen() const noexcept { return descriptor_ >= 0; }
    int Get() const noexcept { return descriptor_; }

    // Closes what it holds and takes `descriptor` instead; the caller's errno is kept.
    void Reset(int descriptor = -1) noexcept {
        const int old = std::exchange(descriptor_, descriptor);
        if (old >= 0) {
            const int saved = errno;
            close(old);
            errno = saved;
        }
    }
    // Hands the descriptor to the caller, who closes it.
    int Detach() noexcept { return std::exchange(descriptor_, -1); }

private:
    int descriptor_ = -1;
};

static_assert(sizeof(Descriptor) == sizeof(int), "a Descriptor is one descriptor");

}  // namespace platform::posix
