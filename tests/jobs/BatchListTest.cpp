#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jobs/BatchJob.h"

namespace fs = std::filesystem;

namespace {

class BatchListTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("quorvel-list-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const std::string& name) { std::ofstream(dir / name) << "x"; }

    fs::path dir;
};

TEST_F(BatchListTest, ListsRegularAnimationFilesInAnyCaseSortedByName) {
    for (const char* name : {"zeta.gif", "a.gif", "B.GIF", "mixed.GiF", "notes.txt", "x.gif.bak",
                             "gif", ".gif", "s.webp", "T.WEBP", "p.png", "Q.Apng", "j.jpg", "w.webm"})
        Touch(name);
    fs::create_directory(dir / "c.gif");  // a folder is never a GIF file
    fs::create_symlink(dir / "a.gif", dir / "link.gif");

    const std::vector<std::string> files = ListAnimationFiles(dir.string());

    std::vector<std::string> expected;
    for (const char* name : {".gif", "B.GIF", "Q.Apng", "T.WEBP", "a.gif", "link.gif", "mixed.GiF",
                             "p.png", "s.webp", "zeta.gif"})
        expected.push_back((dir / name).string());
    EXPECT_EQ(files, expected);
}

TEST_F(BatchListTest, EmptyFolderGivesEmptyListWithoutError) {
    std::string error;
    EXPECT_TRUE(ListAnimationFiles(dir.string(), &error).empty());
    EXPECT_EQ(error, "");
}

TEST_F(BatchListTest, MissingFolderIsAnErrorNamingTheFolder) {
    std::string error;
    const std::string missing = (dir / "missing").string();
    EXPECT_TRUE(ListAnimationFiles(missing, &error).empty());
    EXPECT_NE(error.find(missing), std::string::npos) << error;
}

}  // namespace
