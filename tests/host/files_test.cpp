#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/files.hpp"

using namespace rt;

namespace {
fs::path tempDir() {
    char pattern[] = "/tmp/penloom-files-XXXXXX";
    return fs::path(mkdtemp(pattern));
}
}  // namespace

TEST(Files, WholeFileRoundTripReplacesAndReadsMissingAsEmpty) {
    fs::path dir = tempDir();
    fs::path f = dir / "a.txt";
    EXPECT_EQ(readFile(f), "");
    ASSERT_TRUE(writeFile(f, std::string("long content\0with nul", 21)));
    ASSERT_TRUE(writeFile(f, "short"));
    EXPECT_EQ(readFile(f), "short");
    ASSERT_TRUE(writeFile(f, ""));
    EXPECT_EQ(fs::file_size(f), 0u);
    fs::remove_all(dir);
}

TEST(Files, CopyReplacesDeleteAndCreateFolderOneLevel) {
    fs::path dir = tempDir();
    ASSERT_TRUE(writeFile(dir / "src", "new"));
    ASSERT_TRUE(writeFile(dir / "dst", "old old"));
    EXPECT_TRUE(copyFile(dir / "src", dir / "dst"));
    EXPECT_EQ(readFile(dir / "dst"), "new");
    EXPECT_FALSE(copyFile(dir / "missing", dir / "x"));
    EXPECT_TRUE(deleteFile(dir / "dst"));
    EXPECT_FALSE(deleteFile(dir / "dst"));
    EXPECT_TRUE(createFolder(dir / "one"));
    EXPECT_TRUE(createFolder(dir / "one"));            // existing folder is fine
    EXPECT_FALSE(createFolder(dir / "two" / "three"));  // only one level
    EXPECT_FALSE(fs::exists(dir / "two"));
    fs::remove_all(dir);
}

TEST(Files, ProgramPathAppendsBackslashLiteral) {
    fs::path p = programPath("/opt/pen loom", "\\小说数据\\data.edb");
    EXPECT_EQ(p, fs::path("/opt/pen loom") / fs::path(u8"小说数据") / "data.edb");
}
