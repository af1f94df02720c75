#include "base/LargeBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

void* AllocateLarge(std::size_t bytes) noexcept {
    if (bytes < kHugePage) return std::malloc(bytes == 0 ? 1 : bytes);
    // The part of the last page past the block is taken too where that wastes at most a
    // quarter of it; otherwise the block ends in small pages.
    const std::size_t whole = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    const std::size_t advised = whole - bytes <= bytes / 4 ? whole : bytes / kHugePage * kHugePage;
    void* block = nullptr;
    if (posix_memalign(&block, kHugePage, std::max(bytes, advised)) != 0) return nullptr;
    // Only advice: without huge pages the block works the same.
    madvise(block, advised, MADV_HUGEPAGE);
    return block;
}

void FreeLarge(void* block) noexcept { std::free(block); }
