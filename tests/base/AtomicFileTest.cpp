#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

// A new file, or one that replaces a link, gets the mode the umask gives; a replaced regular file
// keeps its own, but never the set-user-ID or set-group-ID bit; a linked file is left alone.
TEST(AtomicFileTest, ModeComesFromTheUmaskOrTheReplacedFileNeverFromALinkOrSetId) {
    ScratchDir dir;
    ASSERT_TRUE(WriteText(dir / "setuid.bin", "linked"));
    ASSERT_EQ(::chmod((dir / "setuid.bin").c_str(), 04755), 0);
    const struct {
        const char* name;
        mode_t existing;  // 0: no file; 1: a link to setuid.bin
        mode_t umask;
        mode_t expected;
    } cases[] = {
        {"kept.bin", 0640, 022, 0640},   {"setid.bin", 06750, 022, 0750},
        {"link.bin", 1, 022, 0644},      {"link-077.bin", 1, 077, 0600},
        {"fresh.bin", 0, 022, 0644},     {"fresh-077.bin", 0, 077, 0600},
    };
    for (const auto& c : cases) {
        const auto target = dir / c.name;
        if (c.existing == 1) fs::create_symlink("setuid.bin", target);
        if (c.existing > 1) {
            ASSERT_TRUE(WriteText(target, "old"));
            ASSERT_EQ(::chmod(target.c_str(), c.existing), 0);
        }
        const mode_t old = ::umask(c.umask);
        EXPECT_EQ(WriteFileAtomically(target, reinterpret_cast<const uint8_t*>("new"), 3), 0);
        ::umask(old);
        EXPECT_EQ(ReadText(target), "new") << c.name;
        EXPECT_FALSE(fs::is_symlink(target)) << c.name;
        EXPECT_EQ(ModeOf(target), c.expected) << c.name;
    }
    EXPECT_EQ(ReadText(dir / "setuid.bin"), "linked");
    EXPECT_EQ(ModeOf(dir / "setuid.bin"), 04755u);
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

// A file of several megabytes, written in pieces (its writing to disk starts on the way) and
// with its first bytes patched at the end, as a movie's header is, holds exactly its bytes.
TEST(AtomicFileTest, LargeFileWrittenInPiecesAndPatchedIsExact) {
    ScratchDir dir;
    std::vector<uint8_t> bytes(5'000'017);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    AtomicFile file;
    ASSERT_TRUE(file.Open(dir / "big.bin"));
    constexpr std::size_t kPiece = 300'000;
    for (std::size_t at = 0; at < bytes.size(); at += kPiece)
        ASSERT_TRUE(file.Write(&bytes[at], std::min(kPiece, bytes.size() - at)));
    const uint8_t header[] = {'F', 'W', 'S', 3};
    ASSERT_TRUE(file.WriteAt(0, header, sizeof header));
    ASSERT_TRUE(file.Commit());
    std::copy(std::begin(header), std::end(header), bytes.begin());
    EXPECT_EQ(ReadFileBytes(dir / "big.bin"), bytes);
    EXPECT_EQ(dir.List(), std::vector<std::string>{"big.bin"});
}

// Temporary files of the same target that no writer holds go when it is written again, whatever
// their pid says (a pid is only this machine's, in this PID namespace); those a writer holds,
// this process's own and other targets' stay.
TEST(AtomicFileTest, LeftoversNoWriterHoldsAreRemoved) {
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
        bool held;
        bool removed;
    } cases[] = {{"t.swf", dead, false, true},  {longName, dead, false, true},
                 {"t.swf", alive, false, true}, {"t.swf", dead, true, false},
                 {"t.swf", self, false, false}, {"u.swf", dead, false, false}};
    std::vector<int> holders;  // as writers elsewhere hold their files
    for (unsigned n = 0; n < std::size(cases); ++n) {
        const auto path = dir / TempFileName(cases[n].target, cases[n].pid, n, 255);
        ASSERT_TRUE(WriteText(path, ""));
        if (!cases[n].held) continue;
        holders.push_back(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
        ASSERT_EQ(::flock(holders.back(), LOCK_EX), 0);
    }
    ASSERT_TRUE(WriteText(dir / ".t.swf.x.3.part", ""));
    for (const std::string& target : {std::string("t.swf"), longName}) {
        EXPECT_EQ(WriteFileAtomically(dir / target, nullptr, 0), 0);
    }
    for (unsigned n = 0; n < std::size(cases); ++n) {
        const auto& c = cases[n];
        EXPECT_EQ(fs::exists(dir / TempFileName(c.target, c.pid, n, 255)), !c.removed)
            << c.target.substr(0, 5) << " of " << c.pid << (c.held ? ", held" : "");
    }
    EXPECT_EQ(dir.List().size(), 6u);  // the two targets, three leftovers kept and the odd name
    for (const int fd : holders) ::close(fd);
}

}  // namespace
