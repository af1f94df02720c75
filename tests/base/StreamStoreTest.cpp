#include "base/StreamStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/TestFiles.h"

namespace {

// A stream is stored only when it starts right and fits the limit, in a file that has no name.
TEST(StreamStoreTest, StoresWhatStartsRightAndFitsInAFileWithoutAName) {
    using Outcome = StoredStream::Outcome;
    const std::string fits = "GIF89a" + std::string(94, 'x');  // 100 bytes
    const struct {
        std::string stream;
        Outcome outcome;
    } cases[] = {
        {fits, Outcome::Stored},       {"GIF", Outcome::Stored},
        {fits + "x", Outcome::TooLong}, {"GI", Outcome::WrongStart},
        {"", Outcome::WrongStart},      {"PNG" + fits, Outcome::WrongStart},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        int ends[2];
        ASSERT_EQ(::pipe(ends), 0);
        ASSERT_EQ(::write(ends[1], c.stream.data(), c.stream.size()),
                  static_cast<ssize_t>(c.stream.size()));
        ::close(ends[1]);
        const StoredStream stored = StoreStream(ends[0], dir.Path(), "GIF", 100);
        ::close(ends[0]);
        EXPECT_EQ(stored.outcome, c.outcome) << c.stream;
        EXPECT_EQ(stored.fd >= 0, c.outcome == Outcome::Stored) << c.stream;
        EXPECT_TRUE(dir.List().empty()) << c.stream;
        if (stored.fd < 0) continue;
        std::string back(c.stream.size() + 1, '\0');
        EXPECT_EQ(::pread(stored.fd, back.data(), back.size(), 0),
                  static_cast<ssize_t>(c.stream.size()));
        EXPECT_EQ(back.substr(0, c.stream.size()), c.stream);
        struct stat st {};
        EXPECT_EQ(::fstat(stored.fd, &st), 0);
        EXPECT_EQ(st.st_nlink, 0u);
        ::close(stored.fd);
    }
}

}  // namespace
