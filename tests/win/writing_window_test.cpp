// The writing window on real windows driven by window messages: chapters kept in step with the store,
// the editor aids, layout, menus and the common dialogs.
#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>

#include "app/core/app.hpp"
#include "app/core/chapter_store.hpp"
#include "app/core/writing_window.hpp"
#include "runtime/datetime.hpp"
#include "runtime/text.hpp"
#include "runtime/win/services.hpp"
#include "runtime/win/webview.hpp"
#include "support.hpp"

using namespace testing_win;
using rt::gbk;

namespace {

// The colour dialog's red, green and blue boxes (documented as COLOR_RED and so on).
constexpr int kRedEdit = 706, kGreenEdit = 707, kBlueEdit = 708;

struct Chapter {
    std::string name, text;  // GBK
    bool deleted = false;
    bool operator==(const Chapter&) const = default;
};

[[maybe_unused]] std::ostream& operator<<(std::ostream& os, const Chapter& c) {
    return os << "{" << rt::toUtf8(c.name) << " | " << rt::toUtf8(c.text) << (c.deleted ? " | marked" : "") << "}";
}

Chapter ch(const char8_t* name, const char8_t* text, bool deleted = false) { return {gbk(name), gbk(text), deleted}; }

// Every record in order; the cursor ends past the last.
std::vector<Chapter> readAll(core::ChapterStore& store) {
    std::vector<Chapter> out;
    store.GoFirst();
    while (!store.IsPastEnd()) {
        out.push_back({store.ReadField(gbk(u8"名称")), store.ReadField(gbk(u8"内容")), store.IsDeleted()});
        store.Skip(1);
    }
    return out;
}

// Records the items of every popup menu this thread opens.
class MenuWatch {
public:
    MenuWatch() {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CALLWNDPROC, hook, nullptr, GetCurrentThreadId());
    }
    ~MenuWatch() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    std::vector<std::vector<std::wstring>> popups;

private:
    static LRESULT CALLBACK hook(int code, WPARAM wp, LPARAM lp) {
        auto* m = reinterpret_cast<CWPSTRUCT*>(lp);
        if (code == HC_ACTION && current_ && m->message == WM_INITMENUPOPUP) {
            auto menu = reinterpret_cast<HMENU>(m->wParam);
            std::vector<std::wstring> items;
            for (int i = 0; i < GetMenuItemCount(menu); ++i) {
                wchar_t buf[64] = {};
                GetMenuStringW(menu, static_cast<UINT>(i), buf, 64, MF_BYPOSITION);
                items.emplace_back(buf);
            }
            current_->popups.push_back(items);
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static inline MenuWatch* current_ = nullptr;
    HHOOK hook_ = nullptr;
};

// Dispatches whatever is queued, translating keys into characters as the message loop does.
void drain() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

RECT rectInParent(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

LOGFONTW fontOf(HWND h) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return lf;
}

class WritingWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        rt::setLastWindowGoneHandler([] {});
        rt::Win32Ui::setEndHook([this](int code) { endedWith = code; });
        boxes.emplace();
        fs::create_directory(dir.path() / L"小说文件");
        dir.installBlankStore();
    }
    void TearDown() override {
        app.reset();
        rt::setClock({});
        rt::setLastWindowGoneHandler({});
        rt::Win32Ui::setEndHook({});
    }

    fs::path storeFile() const { return dir.path() / L"小说数据" / L"data.edb"; }

    // The shipped store with these chapters: the first fills its blank record. None leaves no record at all.
    void seed(const std::vector<Chapter>& chapters) {
        core::ChapterStore s;
        ASSERT_TRUE(s.Open(storeFile()));
        s.GoFirst();
        if (chapters.empty()) {
            ASSERT_TRUE(s.DeleteCurrent());
            ASSERT_TRUE(s.Compact());
            return;
        }
        for (std::size_t i = 0; i < chapters.size(); ++i) {
            if (i > 0) {
                ASSERT_TRUE(s.AppendBlank());
            }
            ASSERT_TRUE(s.ModifyCurrent({{gbk(u8"内容"), chapters[i].text}, {gbk(u8"名称"), chapters[i].name}}));
            if (chapters[i].deleted) {
                ASSERT_TRUE(s.DeleteCurrent());
            }
        }
    }

    void open(bool manualTimers = true) {
        app = std::make_unique<app::Penloom>(dir.path(), ui);
        app->openChapterStore();
        app->openWritingWindow();
        ASSERT_NE(app->writingWindow(), nullptr);
        ASSERT_TRUE(w().alive());
        // Ticks are sent by the tests themselves, so each step is exact.
        if (manualTimers) {
            for (auto t : {u8"时钟_保存", u8"时钟_自动保存", u8"现行时间"}) w().control(t).setTimerPeriod(0);
        }
    }

    // A fresh program folder state for one more case in the same test.
    void reopenWith(const std::vector<Chapter>& chapters) {
        app.reset();
        fs::remove_all(dir.path() / L"小说数据");
        dir.installBlankStore();
        seed(chapters);
        open();
    }

    // The store after the window is gone and the program has let go of it.
    std::vector<Chapter> closeAndReadStore() {
        if (app && app->writingWindow() && w().alive()) {
            w().requestDestroy();
            EXPECT_TRUE(pumpUntil([&] { return !w().alive(); }));
        }
        app.reset();
        core::ChapterStore s;
        EXPECT_TRUE(s.Open(storeFile()));
        return readAll(s);
    }

    // The store while the window is open, through the program's own store; the cursor is put back after.
    std::vector<Chapter> liveRecords() {
        auto& s = app->store();
        auto all = readAll(s);
        const int sel = selected();
        if (sel >= 0) {
            EXPECT_TRUE(core::SeekLiveRecord(s, sel + 1, ui));
        }
        return all;
    }

    app::WritingWindow& w() { return *app->writingWindow(); }
    HWND h(std::u8string_view name) { return w().control(name).hwnd(); }
    std::wstring text(std::u8string_view name) { return windowText(h(name)); }
    void setText(std::u8string_view name, const std::wstring& t) {
        SendMessageW(h(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(t.c_str()));
    }
    void tick(std::u8string_view timer = u8"时钟_保存") {
        SendMessageW(w().hwnd(), WM_TIMER, static_cast<WPARAM>(w().control(timer).timerId()), 0);
    }
    void click(std::u8string_view name) { SendMessageW(h(name), BM_CLICK, 0, 0); }
    void type(std::u8string_view name, std::wstring_view s) {
        for (wchar_t c : s) SendMessageW(h(name), WM_CHAR, c, 1);
    }
    // A key as the keyboard delivers it: down and up through the queue, translated, with these keys held.
    void press(std::u8string_view name, UINT vk, const std::vector<int>& held = {}) {
        BYTE state[256] = {};
        for (int k : held) state[k] = 0x80;
        SetKeyboardState(state);
        // The character the down key makes is handled before the key comes up, as with a real keyboard.
        PostMessageW(h(name), WM_KEYDOWN, vk, 1);
        drain();
        PostMessageW(h(name), WM_KEYUP, vk, 0xC0000001);
        drain();
        BYTE none[256] = {};
        SetKeyboardState(none);
    }
    void caretAt(std::u8string_view name, int pos) { SendMessageW(h(name), EM_SETSEL, pos, pos); }
    std::pair<int, int> selection(std::u8string_view name) {
        DWORD s = 0, e = 0;
        SendMessageW(h(name), EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
        return {static_cast<int>(s), static_cast<int>(e)};
    }
    std::vector<std::wstring> items() {
        std::vector<std::wstring> out;
        HWND list = h(u8"目录框");
        auto n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            std::wstring t(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            t.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(t.data()))));
            out.push_back(t);
        }
        return out;
    }
    int selected() { return static_cast<int>(SendMessageW(h(u8"目录框"), LB_GETCURSEL, 0, 0)); }
    // The author clicks an item of the chapter list.
    void choose(int index) {
        HWND list = h(u8"目录框");
        SendMessageW(list, LB_SETTOPINDEX, index, 0);
        RECT r{};
        SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
    }
    std::string chapterFile(const std::wstring& name) { return readBytes(dir.path() / L"小说文件" / name); }
    std::vector<std::wstring> chapterFiles() {
        std::vector<std::wstring> out;
        for (const auto& e : fs::directory_iterator(dir.path() / L"小说文件")) out.push_back(e.path().filename().wstring());
        std::sort(out.begin(), out.end());
        return out;
    }
    // Leaves the maximised state and gives the window this outer size.
    void resize(int width, int height) {
        w().setState(0);
        SetWindowPos(w().hwnd(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    int outerWidth() {
        RECT r{};
        GetWindowRect(w().hwnd(), &r);
        return MulDiv(r.right - r.left, 96, w().dpi());
    }
    // Drags the splitter so that its left would land on this design position.
    void dragSplitter(int target) {
        HWND s = h(u8"分隔条1");
        const int from = rectInParent(s).left;
        const int grab = w().scale(3), y = w().scale(40);
        SendMessageW(s, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(grab, y));
        SendMessageW(s, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(static_cast<short>(grab + w().scale(target) - from), y));
        SendMessageW(s, WM_LBUTTONUP, 0, MAKELPARAM(grab, y));
    }

    TempProgramDir dir;
    std::optional<MessageBoxResponder> boxes;
    rt::Win32Ui ui;
    std::unique_ptr<app::Penloom> app;
    int endedWith = -1;
};

// ---------------------------------------------------------------- window and start state

TEST_F(WritingWindowTest, OpensMaximisedWithTitleBarOnlyAndTheDesignedControls) {
    open();
    EXPECT_EQ(w().state(), 3);
    EXPECT_EQ(windowText(w().hwnd()), L"码字窗口");
    const LONG style = GetWindowLongW(w().hwnd(), GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & (WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    EXPECT_EQ(GetMenu(w().hwnd()), nullptr) << "the menus are popups only";

    struct Place {
        std::u8string_view name;
        int x, y, w, h;
        const wchar_t* text;
    };
    // Controls the layout never moves, at their design places (group box children relative to it).
    const Place places[] = {
        {u8"透明标签7", 8, 10, 72, 16, L"章节名称："}, {u8"名称", 3, 33, 109, 24, L""},
        {u8"新增章节", 6, 62, 50, 24, L"新章"},       {u8"删除选中", 63, 62, 53, 24, L"删除"},
        {u8"透明标签8", 141, 9, 72, 16, L"章节内容："}, {u8"透明标签1", 664, 12, 56, 16, L"本章字数："},
        {u8"透明标签2", 719, 12, 73, 16, L"0"},       {u8"字体设置", 24, 32, 112, 24, L"字体设置"},
        {u8"标签1", 24, 113, 64, 16, L"背景颜色："},    {u8"背景颜色", 96, 111, 48, 24, nullptr},
        {u8"标签2", 24, 169, 64, 16, L"文本颜色："},    {u8"文本颜色", 98, 167, 48, 24, nullptr},
    };
    for (const auto& p : places) {
        const RECT r = rectInParent(h(p.name));
        const std::string what = rt::toUtf8(gbk(p.name));
        EXPECT_EQ(r.left, w().scale(p.x)) << what;
        EXPECT_EQ(r.top, w().scale(p.y)) << what;
        EXPECT_EQ(r.right - r.left, w().scale(p.w)) << what;
        EXPECT_EQ(r.bottom - r.top, w().scale(p.h)) << what;
        if (p.text) {
            EXPECT_EQ(text(p.name), p.text) << what;
        }
    }
    EXPECT_EQ(text(u8"分组框1"), L"字体、文本颜色设置");
    EXPECT_EQ(w().control(u8"背景颜色").colour(), RGB(255, 255, 255));
    EXPECT_EQ(w().control(u8"文本颜色").colour(), RGB(0, 0, 0));
    EXPECT_FALSE(w().control(u8"章节目录").visible());
    EXPECT_EQ(w().menuItemText(u8"章节目录查看"), gbk(u8"章节目录查看"));
    EXPECT_TRUE(w().menuItemChecked(u8"自动保存内容"));
    EXPECT_EQ(w().control(u8"现行时间").timerPeriod(), 0) << "stopped by this test";

    const LOGFONTW editor = fontOf(h(u8"内容"));
    EXPECT_EQ(std::wstring(editor.lfFaceName), L"宋体");
    EXPECT_EQ(editor.lfHeight, -MulDiv(16, w().dpi(), 96));
    EXPECT_EQ(editor.lfWeight, FW_NORMAL);
    EXPECT_EQ(editor.lfCharSet, GB2312_CHARSET);
    EXPECT_NE(std::wstring(fontOf(h(u8"名称")).lfFaceName), L"宋体") << "the name box keeps the toolkit's font";
    const LONG editStyle = GetWindowLongW(h(u8"内容"), GWL_STYLE);
    EXPECT_TRUE(editStyle & ES_MULTILINE);
    EXPECT_TRUE(editStyle & ES_WANTRETURN);
    EXPECT_TRUE(editStyle & WS_VSCROLL);
    EXPECT_FALSE(editStyle & ES_NOHIDESEL);
}

TEST_F(WritingWindowTest, ShippedStoreShowsOneBlankSelectedChapterThatTypingRetitles) {
    open();
    EXPECT_EQ(items(), std::vector<std::wstring>{L""});
    EXPECT_EQ(selected(), 0);
    EXPECT_EQ(text(u8"内容"), L"");
    EXPECT_EQ(text(u8"名称"), L"");
    type(u8"名称", L"第一章");
    type(u8"内容", L"风起");
    tick();
    EXPECT_EQ(items(), std::vector<std::wstring>{L"第一章"});
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"第一章", u8"风起")}));
}

TEST_F(WritingWindowTest, EmptyStoreGivesAnEmptyListAndNewChapterMakesTheFirstRecord) {
    seed({});
    open();
    EXPECT_TRUE(items().empty());
    EXPECT_EQ(selected(), -1);
    type(u8"名称", L"序章");
    type(u8"内容", L"  开篇");
    tick();
    EXPECT_TRUE(liveRecords().empty()) << "no record to save into";
    click(u8"新增章节");
    EXPECT_EQ(chapterFile(L"序章.txt"), gbk(u8"  开篇"));
    EXPECT_EQ(items(), std::vector<std::wstring>{L""});
    EXPECT_EQ(selected(), 0);
    EXPECT_EQ(w().control(u8"目录框").itemImage(0), 0);
    EXPECT_EQ(text(u8"内容"), L"");
    EXPECT_EQ(text(u8"名称"), L"");
    EXPECT_EQ(GetFocus(), h(u8"名称"));
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"", u8"")})) << "the chapter typed before went only to its file";
    EXPECT_EQ(endedWith, -1);
    EXPECT_TRUE(boxes->boxes().empty());
}

// ---------------------------------------------------------------- saving, new chapter, file names

TEST_F(WritingWindowTest, LeadingSpacesStayInTheNameAndTheFileButNotInTheListOrTheStoredText) {
    open();
    setText(u8"名称", L"  第二章");
    setText(u8"内容", L"  　开头\r\n  次行");
    tick();
    EXPECT_EQ(items(), std::vector<std::wstring>{L"第二章"});
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"  第二章", u8"开头\r\n  次行")}));
    click(u8"新增章节");
    EXPECT_EQ(chapterFile(L"  第二章.txt"), gbk(u8"  　开头\r\n  次行"));
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"  第二章", u8"开头\r\n  次行"), ch(u8"", u8"")}));
}

TEST_F(WritingWindowTest, FirstSaveAfterLoadingWritesWhatIsShown) {
    seed({ch(u8"甲", u8"  缩进的旧文")});
    open();
    EXPECT_EQ(text(u8"内容"), L"  缩进的旧文");
    tick();
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"甲", u8"缩进的旧文")}));
}

TEST_F(WritingWindowTest, ADamagedTextIsNotOverwrittenByShowingIt) {
    seed({ch(u8"甲", u8"甲的正文，一段不短的文字。"), ch(u8"乙", u8"乙文")});
    // Flip a byte inside the first chapter's stored text.
    const fs::path data = dir.path() / L"小说数据" / L"DATA.edt";
    std::string bytes = readBytes(data);
    const auto at = bytes.find(gbk(u8"不短"));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
    std::ofstream(data, std::ios::binary | std::ios::trunc) << bytes;
    open();
    EXPECT_EQ(text(u8"内容"), L"") << "a damaged text is never shown as text";
    tick();
    choose(1);
    choose(0);
    tick();
    {
        auto& s = app->store();
        s.GoFirst();
        (void)s.ReadField(gbk(u8"内容"));
        EXPECT_TRUE(s.lastReadDamaged()) << "still there for recovery";
        EXPECT_TRUE(core::SeekLiveRecord(s, 1, ui));
    }
    type(u8"内容", L"重写");
    tick();
    EXPECT_EQ(liveRecords()[0], ch(u8"甲", u8"重写")) << "what the author writes in its place is saved";
}

TEST_F(WritingWindowTest, EmptyNameWarnsAndWritesNothingWhileANameOfSpacesIsAccepted) {
    open();
    type(u8"内容", L"正文");
    click(u8"新增章节");
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].text, L"您没有输入章节名称，请输入本章名称后在进行新建章节的操作。");
    EXPECT_EQ(boxes->boxes()[0].caption, L"警告");
    EXPECT_TRUE(chapterFiles().empty());
    EXPECT_EQ(items().size(), 1u);
    EXPECT_EQ(text(u8"内容"), L"正文");

    setText(u8"名称", L"   ");
    click(u8"新增章节");
    EXPECT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(chapterFile(L"   .txt"), gbk(u8"正文"));
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"", L""}));
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"   ", u8"正文"), ch(u8"", u8"")}));
}

TEST_F(WritingWindowTest, DuplicateNamesShareTheFileButKeepTheirRecords) {
    open();
    setText(u8"名称", L"同名");
    setText(u8"内容", L"一");
    click(u8"新增章节");
    setText(u8"名称", L"同名");
    setText(u8"内容", L"二");
    click(u8"新增章节");
    EXPECT_EQ(chapterFiles(), std::vector<std::wstring>{L"同名.txt"});
    EXPECT_EQ(chapterFile(L"同名.txt"), gbk(u8"二"));
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"同名", L"同名", L""}));
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"同名", u8"一"), ch(u8"同名", u8"二"), ch(u8"", u8"")}));
}

TEST_F(WritingWindowTest, NamesWindowsRefusesBecomeSafeFileNamesInsideTheChapterFolder) {
    struct Case {
        const wchar_t* name;
        const wchar_t* file;
    };
    const Case cases[] = {
        {L"上/下:卷", L"上／下：卷.txt"},
        {L"..\\..\\越界", L"..＼..＼越界.txt"},
        {L"问<号>|*?\"", L"问＜号＞｜＊？＂.txt"},
        {L"CON", L"＿CON.txt"},
        {L"nul.txt", L"＿nul.txt.txt"},
    };
    open();
    for (const auto& c : cases) {
        setText(u8"名称", c.name);
        setText(u8"内容", L"正文");
        click(u8"新增章节");
        EXPECT_EQ(chapterFile(c.file), gbk(u8"正文")) << rt::toUtf8(rt::fromWide(c.name));
    }
    EXPECT_EQ(chapterFiles().size(), std::size(cases)) << "nothing landed outside the folder";
    EXPECT_FALSE(fs::exists(dir.path() / L"越界.txt"));
    auto records = liveRecords();
    ASSERT_EQ(records.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(records[i].name, rt::fromWide(cases[i].name)) << i;
}

// ---------------------------------------------------------------- selecting and deleting

TEST_F(WritingWindowTest, SelectingAChapterShowsItsRecordAndKeepsWhatWasTypedInTheOneLeft) {
    seed({ch(u8"甲", u8"甲文"), ch(u8"乙", u8"乙文")});
    open();
    EXPECT_EQ(text(u8"名称"), L"甲");
    EXPECT_EQ(text(u8"内容"), L"甲文");
    caretAt(u8"内容", 2);
    type(u8"内容", L"！");
    choose(1);
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(text(u8"名称"), L"乙");
    EXPECT_EQ(text(u8"内容"), L"乙文");
    EXPECT_EQ(text(u8"透明标签2"), L"2");
    choose(0);
    EXPECT_EQ(text(u8"内容"), L"甲文！");
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"甲", u8"甲文！"), ch(u8"乙", u8"乙文")}));
}

TEST_F(WritingWindowTest, RecordsMarkedDeletedAtLoadAreSkippedSoItemsStayOnTheirRecords) {
    seed({ch(u8"甲", u8"一"), ch(u8"乙", u8"二", true), ch(u8"丙", u8"三")});
    open();
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"甲", L"丙"}));
    choose(1);
    EXPECT_EQ(text(u8"内容"), L"三");
    setText(u8"内容", L"三改");
    tick();
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"甲", u8"一"), ch(u8"乙", u8"二", true), ch(u8"丙", u8"三改")}));
    EXPECT_EQ(closeAndReadStore(), (std::vector<Chapter>{ch(u8"甲", u8"一"), ch(u8"丙", u8"三改")}))
        << "closing the window compacts the store";
}

TEST_F(WritingWindowTest, SelectionChangeLeavingNothingSelectedDoesNothing) {
    open();
    HWND list = h(u8"目录框");
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(w().hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(endedWith, -1);
    EXPECT_TRUE(boxes->boxes().empty());
    tick();
    EXPECT_EQ(items(), std::vector<std::wstring>{L""});
}

TEST_F(WritingWindowTest, DeleteSelectsTheItemAboveOrTheNewFirstAndMarksTheRecord) {
    const std::vector<Chapter> three{ch(u8"甲", u8"一"), ch(u8"乙", u8"二"), ch(u8"丙", u8"三")};
    struct Case {
        int remove;
        std::vector<std::wstring> left;
        int selectedAfter;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {0, {L"乙", L"丙"}, 0, L"二"},
        {1, {L"甲", L"丙"}, 0, L"一"},
        {2, {L"甲", L"乙"}, 1, L"二"},
    };
    for (const auto& c : cases) {
        reopenWith(three);
        boxes->clear();
        choose(c.remove);
        click(u8"删除选中");
        ASSERT_EQ(boxes->boxes().size(), 1u) << c.remove;
        EXPECT_EQ(boxes->boxes()[0].text, L"确认删除该章节吗，删除后可能会导致章节丢失。");
        EXPECT_EQ(boxes->boxes()[0].caption, L"警告");
        EXPECT_EQ(items(), c.left) << c.remove;
        EXPECT_EQ(selected(), c.selectedAfter) << c.remove;
        EXPECT_EQ(text(u8"内容"), c.shown) << c.remove;
        auto marked = three;
        marked[static_cast<std::size_t>(c.remove)].deleted = true;
        EXPECT_EQ(liveRecords(), marked) << c.remove;
        // The chapter now shown takes the next save, not its neighbour.
        setText(u8"内容", L"改");
        tick();
        auto records = closeAndReadStore();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[static_cast<std::size_t>(c.selectedAfter)].text, gbk(u8"改")) << c.remove;
    }
}

TEST_F(WritingWindowTest, DeleteCancelledOrOnTheLastChapterChangesNothing) {
    seed({ch(u8"甲", u8"一"), ch(u8"乙", u8"二")});
    open();
    choose(1);
    boxes->setButton(IDCANCEL);
    click(u8"删除选中");
    EXPECT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"甲", L"乙"}));
    EXPECT_EQ(selected(), 1);
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"甲", u8"一"), ch(u8"乙", u8"二")}));

    boxes->setButton(IDOK);
    click(u8"删除选中");
    EXPECT_EQ(items(), std::vector<std::wstring>{L"甲"});
    boxes->clear();
    click(u8"删除选中");
    EXPECT_TRUE(boxes->boxes().empty()) << "the last chapter cannot be deleted, and no message says so";
    EXPECT_EQ(items(), std::vector<std::wstring>{L"甲"});
    EXPECT_EQ(endedWith, -1);
}

TEST_F(WritingWindowTest, ClosingCompactsTheStore) {
    seed({ch(u8"甲", u8"一"), ch(u8"乙", u8"二"), ch(u8"丙", u8"三")});
    open();
    choose(1);
    click(u8"删除选中");
    click(u8"码字关闭");
    ASSERT_TRUE(pumpUntil([&] { return !w().alive(); }));
    EXPECT_EQ(closeAndReadStore(), (std::vector<Chapter>{ch(u8"甲", u8"一"), ch(u8"丙", u8"三")}));
}

// ---------------------------------------------------------------- editor aids

TEST_F(WritingWindowTest, CountFollowsEveryChangeOfTheText) {
    struct Case {
        const wchar_t* text;
        const wchar_t* count;
    };
    const Case cases[] = {
        {L"", L"0"},
        {L"  \r\n \r\n", L"0"},
        {L"a b", L"2"},
        {L"风起", L"2"},
        {L"　", L"1"},
        {L"\t", L"1"},
        {L"章€", L"2"},  // € is the single byte 0x80 in GBK: a lead byte with nothing after it counts once
        {L"第一章\r\n    风起于青萍之末。", L"11"},
    };
    open();
    for (const auto& c : cases) {
        setText(u8"内容", c.text);
        EXPECT_EQ(text(u8"透明标签2"), c.count) << rt::toUtf8(rt::fromWide(c.text));
    }
    setText(u8"内容", L"");
    type(u8"内容", L"写 字");
    EXPECT_EQ(text(u8"透明标签2"), L"2");
}

TEST_F(WritingWindowTest, EditorsAreUnicodeAndTakeInputMethodText) {
    open();
    EXPECT_TRUE(IsWindowUnicode(h(u8"内容")));
    EXPECT_TRUE(IsWindowUnicode(h(u8"名称")));
    // The system turns an input method's character into WM_CHAR, possibly through the queue.
    SendMessageW(h(u8"内容"), WM_IME_CHAR, L'中', 1);
    drain();
    SendMessageW(h(u8"内容"), WM_CHAR, L'文', 1);
    SendMessageW(h(u8"名称"), WM_IME_CHAR, L'章', 1);
    drain();
    EXPECT_EQ(text(u8"内容"), L"中文");
    EXPECT_EQ(text(u8"名称"), L"章");
    EXPECT_EQ(text(u8"透明标签2"), L"2");
    tick();
    EXPECT_EQ(liveRecords(), (std::vector<Chapter>{ch(u8"章", u8"中文")}));
}

TEST_F(WritingWindowTest, EnterAddsAParagraphBreakAndIndentAtTheEnd) {
    struct Case {
        const wchar_t* before;
        int caret;
        std::vector<int> held;
        const wchar_t* after;
    };
    const Case cases[] = {
        {L"风起", 2, {}, L"风起\r\n\r\n    "},
        {L"风起云涌", 2, {}, L"风起\r\n云涌\r\n    "},
        {L"风起", 2, {VK_SHIFT}, L"风起\r\n\r\n    "},
        {L"风起", 2, {VK_CONTROL}, L"风起\r\n\r\n    "},
    };
    open();
    for (const auto& c : cases) {
        setText(u8"内容", c.before);
        caretAt(u8"内容", c.caret);
        press(u8"内容", VK_RETURN, c.held);
        const std::wstring after = c.after;
        EXPECT_EQ(text(u8"内容"), after) << rt::toUtf8(rt::fromWide(c.before)) << " held " << c.held.size();
        const int end = static_cast<int>(after.size());
        EXPECT_EQ(selection(u8"内容"), std::make_pair(end, end)) << "the caret ends after the indent";
    }
    EXPECT_EQ(text(u8"透明标签2"), L"2");
    // Other keys released do nothing.
    setText(u8"内容", L"风");
    caretAt(u8"内容", 1);
    press(u8"内容", VK_SPACE);
    EXPECT_EQ(text(u8"内容"), L"风 ");
}

TEST_F(WritingWindowTest, CtrlASelectsEverythingButCtrlShiftADoesNot) {
    open();
    setText(u8"内容", L"第一章的正文");
    caretAt(u8"内容", 2);
    press(u8"内容", 'A', {VK_CONTROL, VK_SHIFT});
    EXPECT_EQ(selection(u8"内容"), std::make_pair(2, 2));
    EXPECT_EQ(text(u8"内容"), L"第一章的正文");
    press(u8"内容", 'A', {VK_CONTROL});
    EXPECT_EQ(selection(u8"内容"), std::make_pair(0, 6));
    EXPECT_EQ(text(u8"内容"), L"第一章的正文");
}

TEST_F(WritingWindowTest, GainingTheFocusSelectsTheWholeTextOfBothBoxes) {
    open();
    setText(u8"名称", L"第三章");
    setText(u8"内容", L"正文");
    caretAt(u8"名称", 1);
    caretAt(u8"内容", 1);
    SetFocus(h(u8"名称"));
    EXPECT_EQ(selection(u8"名称"), std::make_pair(0, 3));
    SetFocus(h(u8"内容"));
    EXPECT_EQ(selection(u8"内容"), std::make_pair(0, 2));
}

TEST_F(WritingWindowTest, ClockLabelsReadTheClock) {
    rt::setClock([] { return rt::LocalDateTime{.year = 2014, .month = 1, .day = 5, .hour = 9, .minute = 5, .second = 3}; });
    open();
    EXPECT_EQ(text(u8"日期"), L"日期：2014年1月5日") << "set once at creation";
    EXPECT_EQ(text(u8"时"), L"时：9");
    EXPECT_EQ(text(u8"分"), L"分：5");
    EXPECT_EQ(text(u8"秒"), L"秒：3");
    rt::setClock([] { return rt::LocalDateTime{.year = 2015, .month = 12, .day = 31, .hour = 23, .minute = 59, .second = 0}; });
    tick(u8"现行时间");
    EXPECT_EQ(text(u8"日期"), L"日期：2015年12月31日");
    EXPECT_EQ(text(u8"时"), L"时：23");
    EXPECT_EQ(text(u8"分"), L"分：59");
    EXPECT_EQ(text(u8"秒"), L"秒：0");
}

// ---------------------------------------------------------------- layout

TEST_F(WritingWindowTest, SizeLayoutMatchesTheThousandBySevenHundredExample) {
    open();
    resize(1000, 700);
    ASSERT_EQ(outerWidth(), 1000);
    struct Place {
        std::u8string_view name;
        int x, y, w, h;
    };
    const Place places[] = {
        {u8"内容", 128, 35, 691, 635},    {u8"分隔条1", 117, 24, 8, 645},   {u8"目录框", 4, 88, 111, 578},
        {u8"分组框1", 823, 40, 152, 216}, {u8"码字关闭", 940, 2, 40, 20},   {u8"码字最小化", 900, 2, 40, 20},
        {u8"日期", 840, 293, 160, 16},    {u8"时", 840, 319, 160, 16},       {u8"分", 840, 345, 160, 16},
        {u8"秒", 840, 368, 160, 16},      {u8"章节目录", 128, 35, 691, 635}, {u8"透明标签2", 719, 12, 73, 16},
    };
    for (const auto& p : places) {
        const std::string what = rt::toUtf8(gbk(p.name));
        const auto b = w().control(p.name).bounds();
        EXPECT_EQ(b.x, p.x) << what;
        EXPECT_EQ(b.y, p.y) << what;
        EXPECT_EQ(b.w, p.w) << what;
        EXPECT_EQ(b.h, p.h) << what;
        const RECT r = rectInParent(h(p.name));
        EXPECT_EQ(r.left, w().scale(p.x)) << what;
        EXPECT_EQ(r.right - r.left, w().scale(p.w)) << what;
        EXPECT_EQ(r.bottom - r.top, w().scale(p.h)) << what;
    }
}

TEST_F(WritingWindowTest, SizesOfATinyWindowAreClampedToZero) {
    open();
    resize(60, 40);
    EXPECT_TRUE(w().alive());
    for (auto name : {u8"内容", u8"目录框", u8"章节目录"}) {
        const auto b = w().control(name).bounds();
        EXPECT_EQ(b.w < 0 || b.h < 0, false) << rt::toUtf8(gbk(name));
        const RECT r = rectInParent(h(name));
        EXPECT_GE(r.right - r.left, 0);
        EXPECT_GE(r.bottom - r.top, 0);
    }
    EXPECT_EQ(w().control(u8"内容").bounds().w, 0);
    EXPECT_EQ(w().control(u8"目录框").bounds().h, 0);
    resize(1000, 700);
    EXPECT_EQ(w().control(u8"内容").bounds().w, 691) << "and it comes back";
}

TEST_F(WritingWindowTest, SplitterDragMovesTheColumnsWithinItsClamps) {
    open();
    resize(1000, 700);
    struct Case {
        int target, placed;
    };
    const Case cases[] = {{300, 300}, {3, 8}, {-40, 8}, {990, 980}, {5000, 980}, {117, 117}};
    for (const auto& c : cases) {
        dragSplitter(c.target);
        EXPECT_EQ(w().control(u8"分隔条1").bounds().x, c.placed) << c.target;
        EXPECT_EQ(rectInParent(h(u8"分隔条1")).left, w().scale(c.placed)) << c.target;
        EXPECT_EQ(w().control(u8"目录框").bounds().w, c.placed - 6) << c.target;
        EXPECT_EQ(w().control(u8"名称").bounds().w, c.placed - 5) << c.target;
        EXPECT_EQ(w().control(u8"内容").bounds().x, c.placed + 9) << c.target;
        EXPECT_EQ(w().control(u8"内容").bounds().w, std::max(0, 1000 - 189 - c.placed)) << c.target;
        EXPECT_EQ(w().control(u8"章节目录").bounds().x, 128) << "the viewer does not move";
    }
    dragSplitter(300);
    resize(1000, 701);
    EXPECT_EQ(w().control(u8"内容").bounds().x, 309);
    EXPECT_EQ(w().control(u8"内容").bounds().w, 691) << "the size layout sets W - 309 whatever the splitter";
}

// ---------------------------------------------------------------- menus, viewer, minimise

TEST_F(WritingWindowTest, ViewerItemShowsTheChapterFolderAndHidesItAgain) {
    open();
    setText(u8"名称", L"第一章");
    click(u8"新增章节");
    const auto choose = [&] {
        SendMessageW(w().hwnd(), WM_COMMAND, MAKEWPARAM(w().menuItemId(u8"章节目录查看"), 0), 0);
    };
    choose();
    auto& viewer = w().control(u8"章节目录");
    EXPECT_TRUE(viewer.visible());
    EXPECT_EQ(w().menuItemText(u8"章节目录查看"), gbk(u8"章节目录关闭"));
    const rt::WebView view(viewer);
    EXPECT_EQ(view.address(), rt::fromWide((dir.path() / L"小说文件").wstring()));
    if (view.usesStandIn()) {
        HWND listing = GetDlgItem(viewer.hwnd(), rt::WebView::kListId);
        ASSERT_NE(listing, nullptr);
        wchar_t name[64] = {};
        LVITEMW item{};
        item.pszText = name;
        item.cchTextMax = 64;
        ASSERT_EQ(SendMessageW(listing, LVM_GETITEMCOUNT, 0, 0), 1);
        SendMessageW(listing, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&item));
        EXPECT_EQ(std::wstring(name), L"第一章.txt");
    }
    EXPECT_EQ(viewer.bounds().w, w().control(u8"内容").bounds().w);
    EXPECT_EQ(viewer.bounds().h, w().control(u8"内容").bounds().h);
    choose();
    EXPECT_FALSE(viewer.visible());
    EXPECT_EQ(w().menuItemText(u8"章节目录查看"), gbk(u8"章节目录查看"));
}

TEST_F(WritingWindowTest, RightButtonOpensTheChapterMenuOverTheWindowAndTheListMenuOverTheList) {
    seed({ch(u8"甲", u8"一"), ch(u8"乙", u8"二")});
    open();
    MenuWatch watch;
    // The popup's own loop reads these keys: the first item, chosen.
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_RETURN, 1);
    // Below the clock labels, over no control.
    SendMessageW(w().hwnd(), WM_RBUTTONUP, 0, MAKELPARAM(w().scale(outerWidth() - 80), w().scale(400)));
    drain();
    ASSERT_EQ(watch.popups.size(), 1u);
    EXPECT_EQ(watch.popups[0], std::vector<std::wstring>{L"章节目录查看"});
    EXPECT_TRUE(w().control(u8"章节目录").visible());

    choose(1);
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_RETURN, 1);
    SendMessageW(h(u8"目录框"), WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    drain();
    ASSERT_EQ(watch.popups.size(), 2u);
    EXPECT_EQ(watch.popups[1], (std::vector<std::wstring>{L"新建章节", L"删除章节"}));
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].text, L"确认删除该章节吗，删除后可能会导致章节丢失。");
    EXPECT_EQ(items(), std::vector<std::wstring>{L"甲"});

    setText(u8"名称", L"丁");
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageW(w().hwnd(), WM_KEYDOWN, VK_RETURN, 1);
    SendMessageW(h(u8"目录框"), WM_RBUTTONUP, 0, MAKELPARAM(10, 10));
    drain();
    EXPECT_EQ(items(), (std::vector<std::wstring>{L"丁", L""})) << "新建章节 starts a chapter";
    EXPECT_EQ(chapterFile(L"丁.txt"), gbk(u8"一"));
}

TEST_F(WritingWindowTest, MinimiseButtonMinimises) {
    open();
    click(u8"码字最小化");
    EXPECT_EQ(w().state(), 2);
}

// ---------------------------------------------------------------- font and colours

TEST_F(WritingWindowTest, FontDialogGivesFaceStrikeoutUnderlineSizeAndBoldButNeverItalic) {
    open();
    boxes.reset();
    std::wstring chosenFace;
    {
        DialogDriver driver([&](HWND dlg) {
            HWND faces = GetDlgItem(dlg, cmb1);
            // Any face but the current one.
            for (int i = 0; i < static_cast<int>(SendMessageW(faces, CB_GETCOUNT, 0, 0)); ++i) {
                wchar_t name[LF_FACESIZE] = {};
                SendMessageW(faces, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
                if (name[0] == L'@' || std::wstring(name) == L"宋体") continue;
                chosenFace = name;
                SendMessageW(faces, CB_SETCURSEL, i, 0);
                SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELCHANGE), reinterpret_cast<LPARAM>(faces));
                break;
            }
            HWND styles = GetDlgItem(dlg, cmb2);
            for (int i = 0; i < static_cast<int>(SendMessageW(styles, CB_GETCOUNT, 0, 0)); ++i) {
                const auto data = static_cast<DWORD>(SendMessageW(styles, CB_GETITEMDATA, i, 0));
                if (HIWORD(data) && LOWORD(data) >= FW_BOLD) {
                    SendMessageW(styles, CB_SETCURSEL, i, 0);
                    SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(cmb2, CBN_SELCHANGE), reinterpret_cast<LPARAM>(styles));
                }
            }
            HWND sizes = GetDlgItem(dlg, cmb3);
            SetWindowTextW(sizes, L"20");
            SendMessageW(sizes, CB_SETCURSEL, SendMessageW(sizes, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                           reinterpret_cast<LPARAM>(L"20")), 0);
            SendMessageW(dlg, WM_COMMAND, MAKEWPARAM(cmb3, CBN_SELCHANGE), reinterpret_cast<LPARAM>(sizes));
            SendMessageW(GetDlgItem(dlg, chx1), BM_CLICK, 0, 0);
            SendMessageW(GetDlgItem(dlg, chx2), BM_CLICK, 0, 0);
            pressButton(dlg, IDOK);
        });
        click(u8"字体设置");
        EXPECT_EQ(driver.seen, 1);
    }
    ASSERT_FALSE(chosenFace.empty());
    LOGFONTW f = fontOf(h(u8"内容"));
    EXPECT_EQ(std::wstring(f.lfFaceName), chosenFace);
    EXPECT_EQ(f.lfHeight, -MulDiv(200, w().dpi(), 720));
    EXPECT_EQ(f.lfWeight, FW_BOLD);
    EXPECT_TRUE(f.lfUnderline);
    EXPECT_TRUE(f.lfStrikeOut);
    EXPECT_FALSE(f.lfItalic) << "italic never reaches the editor";
    EXPECT_NE(std::wstring(fontOf(h(u8"名称")).lfFaceName), chosenFace);

    // Cancelled: the dialog's kept values, the confirmed ones, go to the editor again.
    {
        DialogDriver driver([&](HWND dlg) {
            SendMessageW(GetDlgItem(dlg, chx1), BM_CLICK, 0, 0);
            pressButton(dlg, IDCANCEL);
        });
        click(u8"字体设置");
        EXPECT_EQ(driver.seen, 1);
    }
    f = fontOf(h(u8"内容"));
    EXPECT_EQ(std::wstring(f.lfFaceName), chosenFace);
    EXPECT_TRUE(f.lfStrikeOut);
    EXPECT_EQ(f.lfWeight, FW_BOLD);
}

TEST_F(WritingWindowTest, FontDialogCancelledAtOnceLeavesTheDesignFont) {
    open();
    boxes.reset();
    DialogDriver driver([](HWND dlg) { pressButton(dlg, IDCANCEL); });
    click(u8"字体设置");
    EXPECT_EQ(driver.seen, 1);
    const LOGFONTW f = fontOf(h(u8"内容"));
    EXPECT_EQ(std::wstring(f.lfFaceName), L"宋体");
    EXPECT_EQ(f.lfHeight, -MulDiv(16, w().dpi(), 96));
    EXPECT_EQ(f.lfWeight, FW_NORMAL);
    EXPECT_FALSE(f.lfUnderline || f.lfStrikeOut || f.lfItalic);
}

TEST_F(WritingWindowTest, ColourPickersColourTheEditorOnly) {
    open();
    boxes.reset();
    auto pick = [&](std::u8string_view picker, int r, int g, int b, int button) {
        DialogDriver driver([&](HWND dlg) {
            SetDlgItemInt(dlg, kRedEdit, static_cast<UINT>(r), FALSE);
            SetDlgItemInt(dlg, kGreenEdit, static_cast<UINT>(g), FALSE);
            SetDlgItemInt(dlg, kBlueEdit, static_cast<UINT>(b), FALSE);
            pressButton(dlg, button);
        });
        click(picker);
        EXPECT_EQ(driver.seen, 1);
    };
    auto coloursOf = [&](std::u8string_view box) {
        HDC dc = CreateCompatibleDC(nullptr);
        SendMessageW(w().hwnd(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(h(box)));
        auto colours = std::make_pair(GetTextColor(dc), GetBkColor(dc));
        DeleteDC(dc);
        return colours;
    };
    pick(u8"文本颜色", 10, 20, 30, IDOK);
    pick(u8"背景颜色", 250, 240, 230, IDOK);
    EXPECT_EQ(w().control(u8"文本颜色").colour(), RGB(10, 20, 30));
    EXPECT_EQ(w().control(u8"背景颜色").colour(), RGB(250, 240, 230));
    EXPECT_EQ(coloursOf(u8"内容"), std::make_pair(RGB(10, 20, 30), RGB(250, 240, 230)));
    EXPECT_EQ(coloursOf(u8"名称"), std::make_pair(GetSysColor(COLOR_WINDOWTEXT), GetSysColor(COLOR_WINDOW)));
    // And on screen: the picker shows its colour, the editor its background.
    auto pixel = [&](std::u8string_view name, int x, int y) {
        RedrawWindow(h(name), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        HDC dc = GetDC(h(name));
        const COLORREF c = GetPixel(dc, w().scale(x), w().scale(y));
        ReleaseDC(h(name), dc);
        return c;
    };
    EXPECT_EQ(pixel(u8"文本颜色", 24, 12), RGB(10, 20, 30));
    EXPECT_EQ(pixel(u8"背景颜色", 24, 12), RGB(250, 240, 230));
    EXPECT_EQ(pixel(u8"内容", 300, 200), RGB(250, 240, 230));
    pick(u8"文本颜色", 200, 0, 0, IDCANCEL);
    EXPECT_EQ(w().control(u8"文本颜色").colour(), RGB(10, 20, 30));
    EXPECT_EQ(coloursOf(u8"内容").first, RGB(10, 20, 30));
}

TEST_F(WritingWindowTest, AProgramFolderNamedOutsideGbkKeepsFilesAndViewerInIt) {
    TempProgramDir other(L"penloom-ő😀");
    fs::create_directory(other.path() / L"小说文件");
    other.installBlankStore();
    app = std::make_unique<app::Penloom>(other.path(), ui);
    app->openChapterStore();
    app->openWritingWindow();
    setText(u8"名称", L"第一章");
    setText(u8"内容", L"正文");
    click(u8"新增章节");
    EXPECT_EQ(readBytes(other.path() / L"小说文件" / L"第一章.txt"), gbk(u8"正文"));
    SendMessageW(w().hwnd(), WM_COMMAND, MAKEWPARAM(w().menuItemId(u8"章节目录查看"), 0), 0);
    const rt::WebView view(w().control(u8"章节目录"));
    if (view.usesStandIn()) {
        HWND listing = GetDlgItem(view.hwnd(), rt::WebView::kListId);
        ASSERT_NE(listing, nullptr) << "the folder was found";
        EXPECT_EQ(SendMessageW(listing, LVM_GETITEMCOUNT, 0, 0), 1);
    }
}

// ---------------------------------------------------------------- a session

TEST_F(WritingWindowTest, ASessionOfTypingReadsBackFromTheStoreExactlyAsShown) {
    open(false);  // real timers
    auto waitForSave = [&](const std::wstring& title) {
        ASSERT_TRUE(pumpUntil([&] { return selected() >= 0 && items()[static_cast<std::size_t>(selected())] == title; }));
    };
    type(u8"名称", L"  第一章 风起");
    type(u8"内容", L"  夜色如墨，");
    press(u8"内容", VK_RETURN);
    type(u8"内容", L"青萍之末。");
    waitForSave(L"第一章 风起");
    const std::wstring firstText = text(u8"内容");
    click(u8"新增章节");
    type(u8"名称", L"第二章");
    type(u8"内容", L"　　全角开头");
    waitForSave(L"第二章");
    click(u8"新增章节");
    type(u8"名称", L"第三章 将删");
    type(u8"内容", L"草稿");
    waitForSave(L"第三章 将删");
    click(u8"删除选中");
    ASSERT_EQ(items().size(), 2u);
    // Back to the first chapter, one more line.
    choose(0);
    caretAt(u8"内容", static_cast<int>(text(u8"内容").size()));
    type(u8"内容", L"又一行");
    ASSERT_TRUE(pumpUntil([&] { return liveRecords()[0].text.ends_with(gbk(u8"又一行")); }));
    // What the window shows, chapter by chapter.
    std::vector<std::pair<std::wstring, std::wstring>> shown;
    for (int i = 0; i < static_cast<int>(items().size()); ++i) {
        choose(i);
        shown.emplace_back(text(u8"名称"), text(u8"内容"));
    }
    click(u8"码字关闭");
    ASSERT_TRUE(pumpUntil([&] { return !w().alive(); }));

    const auto records = closeAndReadStore();
    ASSERT_EQ(records.size(), shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        EXPECT_EQ(records[i].name, rt::fromWide(shown[i].first)) << i;
        EXPECT_EQ(records[i].text, rt::trimLeadingSpaces(rt::fromWide(shown[i].second))) << i;
        EXPECT_FALSE(records[i].deleted);
    }
    EXPECT_EQ(records[0].name, gbk(u8"  第一章 风起"));
    EXPECT_EQ(records[0].text, gbk(u8"夜色如墨，\r\n\r\n    青萍之末。又一行"));
    EXPECT_EQ(records[1].text, gbk(u8"全角开头"));
    EXPECT_EQ(chapterFile(L"  第一章 风起.txt"), rt::fromWide(firstText));
    EXPECT_EQ(chapterFile(L"第二章.txt"), gbk(u8"　　全角开头"));
    EXPECT_EQ(chapterFiles().size(), 2u);
    EXPECT_EQ(endedWith, -1);
}

// ---- Auto-save and the closing copy ----

fs::path autoSaveFile(const fs::path& dir) { return dir / L"自动保存" / L"自动保存文件【勿删】.txt"; }

std::optional<fs::file_time_type> modifiedTime(const fs::path& p) {
    std::error_code ec;
    auto t = fs::last_write_time(p, ec);
    if (ec) return std::nullopt;
    return t;
}

TEST_F(WritingWindowTest, AutoSaveTickLeavesTheFileEqualToTheEditorAndRewritesOnlyWhenNeeded) {
    fs::create_directory(dir.path() / L"自动保存");
    seed({ch(u8"第一章", u8"甲"), ch(u8"第二章", u8"乙乙")});
    open();
    const fs::path file = autoSaveFile(dir.path());
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"甲"));
    setText(u8"内容", L"    第一段\r\n\r\n    第二段 ");
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"    第一段\r\n\r\n    第二段 ")) << "exactly the editor's bytes, spaces and line ends kept";
    const auto written = modifiedTime(file);
    for (int i = 0; i < 5; ++i) tick(u8"时钟_自动保存");
    EXPECT_EQ(modifiedTime(file), written) << "an unchanged editor is not written again";
    std::ofstream(file, std::ios::binary | std::ios::trunc) << "changed behind our back";
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"    第一段\r\n\r\n    第二段 ")) << "a file that is not as written is restored";
    fs::remove(file);
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"    第一段\r\n\r\n    第二段 ")) << "a deleted file comes back";
    choose(1);
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"乙乙")) << "the file holds only the chapter now in the editor";
    setText(u8"内容", L"");
    tick(u8"时钟_自动保存");
    ASSERT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::file_size(file), 0u) << "an empty editor gives a zero-length file";
}

TEST_F(WritingWindowTest, AutoSaveTimerRestsWhileNothingChangesAndWakesForChangesAndTampering) {
    fs::create_directory(dir.path() / L"自动保存");
    seed({ch(u8"第一章", u8"甲")});
    open(false);  // real timers
    const fs::path file = autoSaveFile(dir.path());
    auto& timer = w().control(u8"时钟_自动保存");
    const std::string expected = gbk(u8"甲");
    ASSERT_TRUE(pumpUntil([&] { return fs::exists(file) && readBytes(file) == expected && timer.timerPeriod() == 0; }))
        << "once the file equals the editor the timer rests";
    setText(u8"内容", L"夜色如墨");
    EXPECT_EQ(timer.timerPeriod(), 1) << "a change wakes it at its own period";
    ASSERT_TRUE(pumpUntil([&] { return readBytes(file) == gbk(u8"夜色如墨") && timer.timerPeriod() == 0; }));
    const auto written = modifiedTime(file);
    pumpUntil([] { return false; }, 1500);
    EXPECT_EQ(modifiedTime(file), written) << "the clock's wake-up finds nothing to write";
    for (bool remove : {false, true}) {
        if (remove) fs::remove(file);
        else std::ofstream(file, std::ios::binary | std::ios::trunc) << "changed behind our back";
        EXPECT_TRUE(pumpUntil([&] { return fs::exists(file) && readBytes(file) == gbk(u8"夜色如墨"); }, 3000))
            << (remove ? "a deleted file is back within the clock's second" : "an edited file is restored within the clock's second");
    }
}

TEST_F(WritingWindowTest, AutoSaveIsGatedByItsCheckedMenuItem) {
    fs::create_directory(dir.path() / L"自动保存");
    open();
    const fs::path file = autoSaveFile(dir.path());
    setText(u8"内容", L"第一稿");
    tick(u8"时钟_自动保存");
    ASSERT_EQ(readBytes(file), gbk(u8"第一稿"));
    w().setMenuItemChecked(u8"自动保存内容", false);
    setText(u8"内容", L"第二稿");
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"第一稿")) << "no auto-save while the item is unchecked";
    w().setMenuItemChecked(u8"自动保存内容", true);
    tick(u8"时钟_自动保存");
    EXPECT_EQ(readBytes(file), gbk(u8"第二稿"));
}

TEST_F(WritingWindowTest, AutoSaveWithoutItsFolderWritesNothingAndGoesOn) {
    open();
    setText(u8"内容", L"无处保存");
    tick(u8"时钟_自动保存");
    tick(u8"时钟_自动保存");
    EXPECT_FALSE(fs::exists(dir.path() / L"自动保存"));
    EXPECT_TRUE(w().alive());
}

TEST_F(WritingWindowTest, CloseMakesTheTimestampedCopyThenClosesAndBacksUp) {
    struct Case {
        rt::LocalDateTime at;
        const wchar_t* name;
    };
    const Case cases[] = {
        {{2014, 1, 5, 19, 28, 17}, L"2014年1月5日19时28分17秒【备份】.txt"},
        {{2014, 1, 5, 9, 5, 0}, L"2014年1月5日9时5分【备份】.txt"},
        {{2014, 1, 5, 8, 0, 0}, L"2014年1月5日8时【备份】.txt"},
        {{2014, 1, 5, 0, 0, 0}, L"2014年1月5日【备份】.txt"},
        {{2014, 1, 5, 0, 5, 3}, L"2014年1月5日0时5分3秒【备份】.txt"},
    };
    for (auto f : {L"自动保存", L"自动保存备份", L"小说文件备份"}) fs::create_directory(dir.path() / f);
    for (const auto& c : cases) {
        rt::setClock([&] { return c.at; });
        boxes.reset();
        // What the program has done by the time its confirmation shows.
        bool copyThen = false, batchThen = false, windowGoneThen = false;
        DialogDriver confirm([&](HWND box) {
            copyThen = fs::exists(dir.path() / L"自动保存备份" / c.name);
            batchThen = fs::exists(dir.path() / L"复制文件.bat");
            windowGoneThen = !w().alive();
            pressButton(box, IDOK);
        });
        reopenWith({ch(u8"序章", u8"风起")});
        std::ofstream(dir.path() / L"小说文件" / L"序章.txt", std::ios::binary) << "chapter file";
        setText(u8"内容", L"风起青萍之末");
        tick(u8"时钟_自动保存");
        click(u8"码字关闭");
        EXPECT_EQ(confirm.seen, 1);
        EXPECT_TRUE(copyThen) << rt::toUtf8(rt::fromWide(c.name));
        EXPECT_TRUE(batchThen) << "the batch is there while the confirmation shows";
        EXPECT_TRUE(windowGoneThen) << "the window goes as soon as the loop runs, inside the confirmation";
        EXPECT_EQ(readBytes(dir.path() / L"自动保存备份" / c.name), gbk(u8"风起青萍之末"));
        EXPECT_FALSE(fs::exists(dir.path() / L"复制文件.bat"));
        EXPECT_EQ(readBytes(dir.path() / L"小说文件备份" / L"序章.txt"), "chapter file");
    }
}

TEST_F(WritingWindowTest, TwoClosesInOneSecondKeepBothCopies) {
    for (auto f : {L"自动保存", L"自动保存备份"}) fs::create_directory(dir.path() / f);
    rt::setClock([] { return rt::LocalDateTime{2014, 1, 5, 19, 28, 17}; });
    for (const wchar_t* text : {L"第一次", L"第二次"}) {
        open();
        setText(u8"内容", text);
        tick(u8"时钟_自动保存");
        click(u8"码字关闭");
        ASSERT_TRUE(pumpUntil([&] { return !w().alive(); }));
        app.reset();
    }
    EXPECT_EQ(readBytes(dir.path() / L"自动保存备份" / L"2014年1月5日19时28分17秒【备份】.txt"), gbk(u8"第一次"));
    EXPECT_EQ(readBytes(dir.path() / L"自动保存备份" / L"2014年1月5日19时28分17秒 (2)【备份】.txt"), gbk(u8"第二次"));
}

TEST_F(WritingWindowTest, CloseWithAnEmptyEditorMakesNoCopyButStillClosesAndBacksUp) {
    for (auto f : {L"自动保存", L"自动保存备份"}) fs::create_directory(dir.path() / f);
    open();
    setText(u8"内容", L"");
    tick(u8"时钟_自动保存");
    click(u8"码字关闭");
    ASSERT_TRUE(pumpUntil([&] { return !w().alive(); }));
    EXPECT_TRUE(fs::is_empty(dir.path() / L"自动保存备份"));
    ASSERT_EQ(boxes->boxes().size(), 1u);
    EXPECT_EQ(boxes->boxes()[0].text, L"小说文件备份成功");
}

}  // namespace
