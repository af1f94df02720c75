#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

// Memory for whole frames and canvases. A block of 2 MiB or more starts on a 2 MiB boundary, and
// the kernel is asked to back it with transparent huge pages (its last, partly used page too
// when that wastes little). Fresh memory touched 4 KiB at a time costs a page fault per 4 KiB,
// several microseconds each on a virtual machine: for a 1600 x 1200 frame, a tenth of the time
// its encoding takes.
void* AllocateLarge(std::size_t bytes) noexcept;  // null when out of memory
void FreeLarge(void* block) noexcept;

struct LargeDeleter {
    void operator()(void* block) const noexcept { FreeLarge(block); }
};
using LargeBlock = std::unique_ptr<uint8_t[], LargeDeleter>;

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
        if (void* block = AllocateLarge(n * sizeof(T))) return static_cast<T*>(block);
        throw std::bad_alloc();
    }
    void deallocate(T* block, std::size_t) noexcept { FreeLarge(block); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const noexcept {
        return true;
    }
};

// Rows of pixels, as many bytes as a frame holds.
using PixelBuffer = std::vector<uint8_t, LargeAllocator<uint8_t>>;
