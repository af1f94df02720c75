#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "base/AtomicFile.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(AtomicFileTest, TemporaryNameIsHiddenAndFitsTheNameLimit) {
    const std::string longName(250, 'a');
    const std::string accents = std::string(240, 'b') + "\xC3\xA9\xC3\xA9\xC3\xA9.swf";  // "ééé"
    const struct {
        std::string name;
        std::string expected;
    } cases[] = {
        {"x.swf", ".x.swf.42.7.part"},
        {longName, "." + longName.substr(0, 255 - 1 - 10) + ".42.7.part"},
        // Cut before the é whose second byte would not fit, never inside it.
        {accents, "." + accents.substr(0, 244) + ".42.7.part"},
    };
    for (const auto& c : cases) {
        const std::string temp = TempFileName(c.name, 42, 7, 255);
        EXPECT_EQ(temp, c.expected);
        EXPECT_LE(temp.size(), 255u);
    }
}

TEST(AtomicFileTest, ReplacedFileKeepsItsModeAndNewFilesFollowTheUmask) {
    ScratchDir dir;
    const auto kept = dir / "kept.bin";
    ASSERT_TRUE(WriteText(kept, "old"));
    ASSERT_EQ(::chmod(kept.c_str(), 0640), 0);
    EXPECT_EQ(WriteFileAtomically(kept, reinterpret_cast<const uint8_t*>("new"), 3), 0);
    EXPECT_EQ(ReadText(kept), "new");
    EXPECT_EQ(ModeOf(kept), 0640u);

    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        const mode_t old = ::umask(mask);
        const auto fresh = dir / ("fresh" + std::to_string(mask));
        EXPECT_EQ(WriteFileAtomically(fresh, nullptr, 0), 0);
        ::umask(old);
        EXPECT_EQ(ModeOf(fresh), 0666u & ~mask);
    }
    EXPECT_EQ(dir.List(), (std::vector<std::string>{"fresh18", "fresh63", "kept.bin"}));
}

// Every failure leaves the target as it was and no temporary file behind.
TEST(AtomicFileTest, FailuresLeaveTheTargetAndNoTemporaryFile) {
    ScratchDir dir;
    const auto target = dir / "t.bin";
    ASSERT_TRUE(WriteText(target, "keep"));

    EXPECT_EQ(WriteFileAtomically(dir / "missing" / "t.bin", nullptr, 0), ENOENT);

    // A write the file size limit stops part way.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<uint8_t> big(5000, 1);
    const int error = WriteFileAtomically(target, big.data(), big.size());
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, EFBIG);

    {
        AtomicFile abandoned;
        ASSERT_TRUE(abandoned.Open(target));
        EXPECT_TRUE(abandoned.Write(big.data(), 10));
        EXPECT_EQ(dir.List().size(), 2u);
    }  // never committed
    EXPECT_EQ(ReadText(target), "keep");
    EXPECT_EQ(dir.List(), std::vector<std::string>{"t.bin"});
}

// Temporary files of processes that are gone go when the same target is written again; those of
// live processes (and of other targets) stay.
TEST(AtomicFileTest, LeftoversOfDeadProcessesAreRemoved) {
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    ASSERT_GT(dead, 0);
    ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
    const long alive = getppid(), self = getpid();

    ScratchDir dir;
    const std::string longName(250, 'l');  // its temporary names are cut
    const struct {
        std::string target;
        long pid;
        bool removed;
    } cases[] = {{"t.swf", dead, true},
                 {longName, dead, true},
                 {"t.swf", alive, false},
                 {"t.swf", self, false},
                 {"u.swf", dead, false}};
    for (const auto& c : cases)
        ASSERT_TRUE(WriteText(dir / TempFileName(c.target, c.pid, 3, 255), ""));
    ASSERT_TRUE(WriteText(dir / ".t.swf.x.3.part", ""));
    for (const std::string& target : {std::string("t.swf"), longName}) {
        EXPECT_EQ(WriteFileAtomically(dir / target, nullptr, 0), 0);
    }
    for (const auto& c : cases) {
        EXPECT_EQ(fs::exists(dir / TempFileName(c.target, c.pid, 3, 255)), !c.removed)
            << c.target.substr(0, 5) << " of " << c.pid;
    }
    EXPECT_EQ(dir.List().size(), 6u);  // the two targets, three leftovers kept and the odd name
}

}  // namespace
