#include <gtest/gtest.h>

#include <cstring>

#include "base/LargeBuffer.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(LargeBufferTest, BlocksOfHugePagesStartOnTheirBoundaries) {
    // Small blocks come from the heap as they are; large ones, with or without their last page
    // taken whole, start on a 2 MiB boundary. Every byte asked for is there to write.
    const std::size_t sizes[] = {0, 100, 2 * kMiB - 1, 2 * kMiB, 2 * kMiB + 1, 5760000, 2359296};
    for (const std::size_t bytes : sizes) {
        SCOPED_TRACE(bytes);
        const LargeBlock block(static_cast<uint8_t*>(AllocateLarge(bytes)));
        ASSERT_NE(block, nullptr);
        if (bytes >= 2 * kMiB) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block.get()) % (2 * kMiB), 0u);
        }
        std::memset(block.get(), 0xAB, bytes);
    }
    PixelBuffer pixels(3 * kMiB, 7);
    pixels.resize(4 * kMiB, 9);
    EXPECT_EQ(pixels[3 * kMiB - 1], 7);
    EXPECT_EQ(pixels.back(), 9);
}

}  // namespace
