// Owns one block of memory from one of the system's allocators and gives it back to that
// allocator's own free, through the replaceable services, on every path.
//
//   HeapBlock<OLECHAR> text = NewHeapBlock<OLECHAR>(units);    // raises E_OUTOFMEMORY
//   LocalBlock<char> output;                                   // FormatMessageA's output
//   FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | ..., reinterpret_cast<LPSTR>(output.Put()), ...);
//
// The alias names the allocator; a block must only ever be handed to the owner of its kind.
#pragma once

#include "platform/Platform.h"

#include "com/ComError.h"
#include "platform/SystemApi.h"

#include <limits>
#include <type_traits>
#include <utility>

// Free is the SystemApi entry that frees a block of this kind, or a function of one
// argument that calls it (the heap's free also takes the heap).
template <typename T, auto Free>
class ScopedBlock {
public:
    ScopedBlock() noexcept = default;
    explicit ScopedBlock(T* block) noexcept : block_(block) {}
    ~ScopedBlock() { Reset(); }
    ScopedBlock(const ScopedBlock&) = delete;
    ScopedBlock& operator=(const ScopedBlock&) = delete;

    T* Get() const noexcept { return block_; }

    // For an operation that hands out a block: frees the old one first.
    T** Put() noexcept {
        Reset();
        return &block_;
    }

    // Gives up the block without freeing it; empty afterwards.
    T* Detach() noexcept { return std::exchange(block_, nullptr); }

    void Reset() noexcept {
        if (block_ != nullptr) {
            if constexpr (std::is_member_pointer_v<decltype(Free)>) {
                (platform::sys.*Free)(std::exchange(block_, nullptr));
            } else {
                Free(std::exchange(block_, nullptr));
            }
        }
    }

private:
    T* block_ = nullptr;
};

inline void FreeHeapBlock(void* block) noexcept { platform::sys.HeapFree(GetProcessHeap(), 0, block); }

template <typename T>
using HeapBlock = ScopedBlock<T, &FreeHeapBlock>;
template <typename T>
using TaskMemoryBlock = ScopedBlock<T, &platform::SystemApi::CoTaskMemFree>;
template <typename T>
using LocalBlock = ScopedBlock<T, &platform::SystemApi::LocalFree>;

static_assert(sizeof(HeapBlock<char>) == sizeof(char*), "a ScopedBlock is one pointer");

// `count` elements of T from the ordinary heap, uninitialized; a refused allocation raises
// _com_error(E_OUTOFMEMORY).
template <typename T>
HeapBlock<T> NewHeapBlock(SIZE_T count) {
    if (count > std::numeric_limits<SIZE_T>::max() / sizeof(T)) {
        ThrowComError(E_OUTOFMEMORY);
    }
    void* block = platform::sys.HeapAlloc(GetProcessHeap(), 0, count * sizeof(T));
    if (block == nullptr) {
        ThrowComError(E_OUTOFMEMORY);
    }
    return HeapBlock<T>(static_cast<T*>(block));
}
