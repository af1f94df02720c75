#include "base/StreamStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/TestFiles.h"

namespace {

// A stream up to the limit is stored; one byte more is refused, and nothing is left of it.
TEST(StreamStoreTest, StoresUpToTheLimit) {
    ScratchDir dir;
    for (const std::size_t size : {100, 101}) {
        const std::string stream = "GIF" + std::string(size - 3, 'x');
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], stream.data(), size), ssize_t(size));
        close(ends[1]);
        const StoredStream stored = StoreStream(ends[0], dir.Path(), "GIF", 100);
        close(ends[0]);
        EXPECT_EQ(stored.outcome, size == 100 ? StoredStream::Outcome::Stored
                                              : StoredStream::Outcome::TooLong);
        EXPECT_EQ(lseek(stored.fd, 0, SEEK_END), size == 100 ? 100 : -1);
        EXPECT_TRUE(dir.List().empty());
        if (stored.fd >= 0) close(stored.fd);
    }
}

}  // namespace
