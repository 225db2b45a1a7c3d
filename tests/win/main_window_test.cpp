// The main window and the start-up sequence, on real windows driven by window messages.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <fstream>

#include <gtest/gtest.h>

#include "app/core/app.hpp"
#include "app/core/main_window.hpp"
#include "app/core/splash.hpp"
#include "app/core/writing_window.hpp"
#include "runtime/text.hpp"
#include "runtime/win/services.hpp"
#include "support.hpp"

using namespace testing_win;

namespace {

const std::wstring kSplashTitle = L"启动界面……";
const std::wstring kWritingTitle = L"码字窗口";
const wchar_t* kFolders[] = {L"小说文件", L"小说文件备份", L"自动保存", L"自动保存备份", L"小说大纲"};

HWND childOfClass(HWND parent, const wchar_t* cls) { return FindWindowExW(parent, nullptr, cls, nullptr); }

// Watches the splash from outside its handlers: what it showed, and when it went.
struct SplashWatch {
    static inline SplashWatch* current = nullptr;
    HHOOK hook = nullptr;
    fs::path dir;
    int barWhenShown = -1;
    int barWhenDestroyed = -1;
    bool foldersWhenShown = false;
    bool pageWhenShown = false;

    explicit SplashWatch(fs::path d) : dir(std::move(d)) {
        current = this;
        hook = SetWindowsHookExW(WH_CALLWNDPROC, proc, nullptr, GetCurrentThreadId());
    }
    ~SplashWatch() {
        UnhookWindowsHookEx(hook);
        current = nullptr;
    }
    static LRESULT CALLBACK proc(int code, WPARAM wp, LPARAM lp) {
        auto* m = reinterpret_cast<CWPSTRUCT*>(lp);
        // InternalGetWindowText sends no message, so the hook does not call itself.
        wchar_t title[64] = {};
        InternalGetWindowText(m->hwnd, title, 64);
        if (code == HC_ACTION && current && title == kSplashTitle) {
            HWND bar = childOfClass(m->hwnd, PROGRESS_CLASSW);
            int pos = bar ? static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)) : -1;
            if (m->message == WM_SHOWWINDOW && m->wParam && current->barWhenShown < 0) {
                current->barWhenShown = pos;
                bool all = true;
                for (auto f : kFolders) all = all && fs::is_directory(current->dir / f);
                current->foldersWhenShown = all;
                current->pageWhenShown = fs::exists(current->dir / "index.htm");
            }
            if (m->message == WM_DESTROY) current->barWhenDestroyed = pos;
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::setLastWindowGoneHandler([this] { ++lastWindowGone; });
        rt::Win32Ui::setEndHook([this](int code) { endedWith = code; });
    }
    void TearDown() override {
        app.reset();
        rt::setLastWindowGoneHandler({});
        rt::Win32Ui::setEndHook({});
    }
    void start(bool withStore = true) {
        if (withStore) dir.installBlankStore();
        app = std::make_unique<app::Penloom>(dir.path(), ui);
        app->traceStep = [this](std::string_view s) { steps.emplace_back(s); };
        app->start();
    }
    rt::Window& main() { return *app->mainWindow(); }
    void click(std::u8string_view name) { SendMessageW(main().control(name).hwnd(), BM_CLICK, 0, 0); }
    void trayEvent(UINT mouseMessage) { SendMessageW(main().hwnd(), rt::Window::kTrayMessage, 1, mouseMessage); }

    TempProgramDir dir;
    MessageBoxResponder boxes;
    rt::Win32Ui ui;
    std::unique_ptr<app::Penloom> app;
    std::vector<std::string> steps;
    int lastWindowGone = 0;
    int endedWith = -1;
};

TEST_F(MainWindowTest, StartUpRunsSplashThenStyleSongsStoreAndEnable) {
    SplashWatch watch(dir.path());
    start();
    EXPECT_EQ(watch.barWhenShown, 1) << "the bar shows 1 as soon as the splash is shown";
    EXPECT_TRUE(watch.foldersWhenShown);
    EXPECT_TRUE(watch.pageWhenShown);
    EXPECT_EQ(watch.barWhenDestroyed, 50) << "the splash goes at exactly 50";
    EXPECT_TRUE(windowsTitled(kSplashTitle).empty());
    EXPECT_EQ(steps, (std::vector<std::string>{"SplashClosed", "ReloadSongList", "OpenChapterStore", "MainWindowEnabled"}));
    ASSERT_TRUE(main().alive());
    EXPECT_TRUE(main().visible());
    EXPECT_TRUE(main().enabled());
    EXPECT_EQ(windowText(main().hwnd()), L"软件主界面");
    EXPECT_EQ(main().control(u8"选择夹1").currentPage(), 0);
    // The shipped store is open: one live blank record.
    auto& store = app->store();
    store.GoFirst();
    EXPECT_FALSE(store.IsPastEnd());
    EXPECT_EQ(store.RecordNumber(), 1);
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(MainWindowTest, ExistingFoldersAreKeptAndTheOfflinePageIsRewritten) {
    fs::create_directory(dir.path() / L"小说文件");
    std::ofstream(dir.path() / L"小说文件" / L"第一章.txt") << "keep me";
    std::ofstream(dir.path() / "index.htm") << "edited by the user";
    start();
    for (auto f : kFolders) EXPECT_TRUE(fs::is_directory(dir.path() / f)) << fs::path(f).string();
    EXPECT_EQ(readBytes(dir.path() / L"小说文件" / L"第一章.txt"), "keep me");
    EXPECT_EQ(readBytes(dir.path() / "index.htm"), readBytes(sourceDir() / "installer" / "payload" / "index.htm"));
    EXPECT_EQ(readBytes(dir.path() / "index.htm").size(), 375u);
}

TEST_F(MainWindowTest, SplashTicksWhileHiddenDoNotAdvanceTheBar) {
    dir.installBlankStore();
    app = std::make_unique<app::Penloom>(dir.path(), ui);
    app::Splash splash(*app);
    splash.create();
    auto& timer = splash.control(u8"时钟1");
    timer.setTimerPeriod(0);  // drive the ticks by hand
    auto& bar = splash.control(u8"进度条1");
    ASSERT_EQ(bar.position(), 1);
    auto tick = [&] { SendMessageW(splash.hwnd(), WM_TIMER, static_cast<WPARAM>(timer.timerId()), 0); };
    splash.setVisible(false);
    for (int i = 0; i < 5; ++i) tick();
    EXPECT_EQ(bar.position(), 1);
    splash.setVisible(true);
    for (int i = 0; i < 48; ++i) tick();
    EXPECT_EQ(bar.position(), 49);
    EXPECT_FALSE(splash.destroyPending());
    tick();
    EXPECT_EQ(bar.position(), 50);
    EXPECT_TRUE(splash.destroyPending());
    EXPECT_TRUE(pumpUntil([&] { return !splash.alive(); }));
}

TEST_F(MainWindowTest, NavigationButtonsSwitchPagesAndRunTheirSteps) {
    start();
    struct Case {
        std::u8string_view button;
        int page;
        const char* step;
    };
    const Case cases[] = {{u8"按钮_大纲", 1, nullptr},
                          {u8"按钮_音乐", 2, "ReloadSongList"},
                          {u8"按钮_搜索", 3, nullptr},
                          {u8"按钮_帮助", 4, "HelpPageStep"},
                          {u8"按钮_码字", 0, nullptr}};
    for (const auto& c : cases) {
        steps.clear();
        click(c.button);
        EXPECT_EQ(main().control(u8"选择夹1").currentPage(), c.page);
        EXPECT_EQ(steps, c.step ? std::vector<std::string>{c.step} : std::vector<std::string>{});
    }
}

TEST_F(MainWindowTest, TrayPressedTwiceLeavesOneIcon) {
    start();
    click(u8"按钮_托盘");
    EXPECT_FALSE(main().visible());
    click(u8"按钮_托盘");
    EXPECT_TRUE(main().hasTrayIcon());
    // Exactly one icon of this window: id 1 deletes once, no other id exists.
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = main().hwnd();
    for (UINT id = 0; id < 8; ++id) {
        if (id == 1) continue;
        nid.uID = id;
        EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &nid)) << id;
    }
    nid.uID = 1;
    EXPECT_TRUE(Shell_NotifyIconW(NIM_DELETE, &nid));
    EXPECT_FALSE(Shell_NotifyIconW(NIM_DELETE, &nid));
}

TEST_F(MainWindowTest, TrayClicksShowThenAlternateMinimisedAndRestored) {
    start();
    click(u8"按钮_托盘");
    ASSERT_FALSE(main().visible());
    EXPECT_EQ(main().state(), 0) << "a hidden window reads as normal";
    trayEvent(WM_LBUTTONDBLCLK);
    trayEvent(WM_RBUTTONUP);
    trayEvent(WM_CONTEXTMENU);
    EXPECT_FALSE(main().visible()) << "double and right clicks change nothing";
    trayEvent(WM_LBUTTONUP);
    EXPECT_TRUE(main().visible());
    EXPECT_EQ(main().state(), 0) << "shown in its normal state";
    trayEvent(WM_LBUTTONUP);
    EXPECT_EQ(main().state(), 2);
    trayEvent(WM_RBUTTONUP);
    trayEvent(WM_LBUTTONDBLCLK);
    EXPECT_EQ(main().state(), 2);
    trayEvent(WM_LBUTTONUP);
    EXPECT_EQ(main().state(), 0);
    EXPECT_TRUE(main().visible());
}

TEST_F(MainWindowTest, MinimiseButtonMinimises) {
    start();
    click(u8"按钮_最小化");
    EXPECT_EQ(main().state(), 2);
    EXPECT_TRUE(main().visible());
}

TEST_F(MainWindowTest, CloseRunsBackupAndLeavesTheWritingWindowWorking) {
    start();
    click(u8"按钮_开始码字");
    ASSERT_NE(app->writingWindow(), nullptr);
    ASSERT_TRUE(app->writingWindow()->alive());
    click(u8"按钮_大纲");  // switching pages leaves the writing window alone
    EXPECT_TRUE(app->writingWindow()->alive());
    steps.clear();
    click(u8"按钮_关闭");
    EXPECT_TRUE(main().alive()) << "destroyed on return to the loop, not inside the click";
    ASSERT_TRUE(pumpUntil([&] { return !main().alive(); }));
    EXPECT_EQ(steps, std::vector<std::string>{"BackupChapterFiles"});
    EXPECT_TRUE(app->writingWindow()->alive());
    EXPECT_EQ(lastWindowGone, 0);
    app->writingWindow()->requestDestroy();
    ASSERT_TRUE(pumpUntil([&] { return !app->writingWindow()->alive(); }));
    EXPECT_EQ(lastWindowGone, 1) << "the program ends when its last window is gone";
}

TEST_F(MainWindowTest, SystemCloseEndsLikeTheCloseButton) {
    start();
    steps.clear();
    PostMessageW(main().hwnd(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(pumpUntil([&] { return !main().alive(); }));
    EXPECT_EQ(steps, std::vector<std::string>{"BackupChapterFiles"});
    EXPECT_EQ(lastWindowGone, 1);
}

TEST_F(MainWindowTest, SecondStartWritingClickBringsTheOpenWindowForward) {
    start();
    click(u8"按钮_开始码字");
    auto* first = app->writingWindow();
    ASSERT_TRUE(first && first->alive());
    HWND firstHwnd = first->hwnd();
    first->setState(2);
    ASSERT_EQ(first->state(), 2);
    click(u8"按钮_开始码字");
    EXPECT_EQ(app->writingWindow(), first);
    EXPECT_EQ(windowsTitled(kWritingTitle), std::vector<HWND>{firstHwnd});
    EXPECT_EQ(first->state(), 3) << "restored from minimised to maximised, as it opened";
    // Once closed, a click opens a new one.
    first->requestDestroy();
    ASSERT_TRUE(pumpUntil([&] { return !first->alive(); }));
    click(u8"按钮_开始码字");
    ASSERT_NE(app->writingWindow(), nullptr);
    EXPECT_TRUE(app->writingWindow()->alive());
    EXPECT_EQ(windowsTitled(kWritingTitle).size(), 1u);
}

TEST_F(MainWindowTest, MissingStoreIsCreatedFromTheBlankStore) {
    start(/*withStore=*/false);
    auto& store = app->store();
    store.GoFirst();
    EXPECT_FALSE(store.IsPastEnd());
    EXPECT_TRUE(boxes.boxes().empty());
    app.reset();  // the store denies other readers while it is open
    const fs::path data = dir.path() / L"小说数据";
    EXPECT_EQ(readBytes(data / "DATA.EDB"), readBytes(sourceDir() / "installer" / "payload" / "DATA.EDB"));
    EXPECT_EQ(readBytes(data / "DATA.edt"), readBytes(sourceDir() / "installer" / "payload" / "DATA.edt"));
}

TEST_F(MainWindowTest, UnopenableStoreWarnsOnceAndIsNeverWritten) {
    struct Case {
        const char* what;
        std::string edb;  // empty: file absent
        std::string edt;
    };
    const std::string blankEdb = readBytes(sourceDir() / "installer" / "payload" / "DATA.EDB");
    const std::string blankEdt = readBytes(sourceDir() / "installer" / "payload" / "DATA.edt");
    const Case cases[] = {
        {"companion missing", blankEdb, ""},
        {"main missing", "", blankEdt},
        {"main damaged", "this is not a chapter store at all", blankEdt},
    };
    for (const auto& c : cases) {
        TempProgramDir d(L"penloom-bad");
        fs::create_directory(d.path() / L"小说数据");
        if (!c.edb.empty()) std::ofstream(d.path() / L"小说数据" / "DATA.EDB", std::ios::binary) << c.edb;
        if (!c.edt.empty()) std::ofstream(d.path() / L"小说数据" / "DATA.edt", std::ios::binary) << c.edt;
        boxes.clear();
        {
            app::Penloom p(d.path(), ui);
            p.start();
            ASSERT_EQ(boxes.boxes().size(), 1u) << c.what << ": " << rt::fromWide(boxes.boxes().back().text);
            EXPECT_EQ(boxes.boxes()[0].caption, L"警告") << c.what;
            EXPECT_NE(boxes.boxes()[0].text.find(L"小说数据"), std::wstring::npos) << c.what << rt::toUtf8(rt::fromWide(boxes.boxes()[0].text));
            p.mainWindow()->requestDestroy();
            pumpUntil([&] { return !p.mainWindow()->alive(); });
        }
        if (!c.edb.empty()) EXPECT_EQ(readBytes(d.path() / L"小说数据" / "DATA.EDB"), c.edb) << c.what;
        else EXPECT_FALSE(fs::exists(d.path() / L"小说数据" / "DATA.EDB")) << c.what;
        if (!c.edt.empty()) EXPECT_EQ(readBytes(d.path() / L"小说数据" / "DATA.edt"), c.edt) << c.what;
        else EXPECT_FALSE(fs::exists(d.path() / L"小说数据" / "DATA.edt")) << c.what;
    }
}

}  // namespace
