// The chapter-file backup: batch file, shell, confirmation, clean-up, from awkward program folders.
#include <windows.h>

#include <fstream>

#include <gtest/gtest.h>

#include "app/core/app.hpp"
#include "app/core/main_window.hpp"
#include "runtime/win/services.hpp"
#include "support.hpp"

using namespace testing_win;

namespace {

void writeText(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }

class BackupTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
    void SetUp() override { rt::setLastWindowGoneHandler([] {}); }
    void TearDown() override { rt::setLastWindowGoneHandler({}); }
    MessageBoxResponder boxes;
    rt::Win32Ui ui;
};

TEST_P(BackupTest, CopiesEveryChapterFileConfirmsAndRemovesTheBatch) {
    TempProgramDir dir(GetParam());
    for (auto f : {L"小说文件", L"小说文件备份"}) fs::create_directory(dir.path() / f);
    writeText(dir.path() / L"小说文件" / L"第一章 风起.txt", "one");
    writeText(dir.path() / L"小说文件" / L"第二章.txt", "two");
    writeText(dir.path() / L"小说文件" / L"笔记.doc", "not a chapter");
    writeText(dir.path() / L"小说文件备份" / L"第二章.txt", "an older backup");
    app::Penloom penloom(dir.path(), ui);
    app::BackupChapterFiles(penloom);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"小说文件备份成功");
    EXPECT_EQ(boxes.boxes()[0].caption, L"信息：");
    EXPECT_EQ(readBytes(dir.path() / L"小说文件备份" / L"第一章 风起.txt"), "one");
    EXPECT_EQ(readBytes(dir.path() / L"小说文件备份" / L"第二章.txt"), "two") << "replaced without a prompt";
    EXPECT_FALSE(fs::exists(dir.path() / L"小说文件备份" / L"笔记.doc"));
    EXPECT_FALSE(fs::exists(dir.path() / L"复制文件.bat"));
}

INSTANTIATE_TEST_SUITE_P(ProgramFolders, BackupTest,
                         ::testing::Values(L"penloom", L"Pen Loom folder", L"写作 100% done", L"a%PATH%b"));

TEST(BackupWithoutFiles, StillConfirmsAndCleansUp) {
    MessageBoxResponder boxes;
    rt::Win32Ui ui;
    TempProgramDir dir;
    fs::create_directory(dir.path() / L"小说文件");
    fs::create_directory(dir.path() / L"小说文件备份");
    app::Penloom penloom(dir.path(), ui);
    app::BackupChapterFiles(penloom);
    EXPECT_EQ(boxes.boxes().size(), 1u);
    EXPECT_TRUE(fs::is_empty(dir.path() / L"小说文件备份"));
    EXPECT_FALSE(fs::exists(dir.path() / L"复制文件.bat"));
}

TEST(BackupFromMainWindow, ClosingTheMainWindowBacksUpTheChapterFiles) {
    MessageBoxResponder boxes;
    rt::Win32Ui ui;
    rt::setLastWindowGoneHandler([] {});
    TempProgramDir dir;
    dir.installBlankStore();
    app::Penloom penloom(dir.path(), ui);
    penloom.start();
    writeText(dir.path() / L"小说文件" / L"序章.txt", "prologue");
    PostMessageW(penloom.mainWindow()->hwnd(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !penloom.mainWindow()->alive(); }));
    EXPECT_EQ(readBytes(dir.path() / L"小说文件备份" / L"序章.txt"), "prologue");
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"小说文件备份成功");
    rt::setLastWindowGoneHandler({});
}

}  // namespace
