// The web view control: address handling and the stand-in that replaces the browser where no HTML engine exists.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/win/handle.hpp"
#include "runtime/win/services.hpp"
#include "runtime/win/webview.hpp"
#include "runtime/win/webview_host.hpp"
#include "runtime/win/window.hpp"
#include "support.hpp"

using namespace testing_win;
using rt::WebView;

namespace {

const rt::ControlDef kControls[] = {
    {.kind = rt::Kind::HtmlView, .name = u8"浏览器", .x = 8, .y = 8, .w = 560, .h = 300},
    {.kind = rt::Kind::HtmlView, .name = u8"测试", .x = 530, .y = 0, .w = 32, .h = 40, .text = u8"www.baidu.com",
     .visible = false},
};
const rt::WindowDef kForm{.name = u8"网页视图", .title = u8"网页视图", .w = 576, .h = 316, .captionBar = true,
                          .controls = kControls};

std::string gbk(std::u8string_view s) { return rt::gbk(s); }

void writeBytes(const fs::path& p, std::string_view bytes) { ASSERT_TRUE(rt::writeFile(p, bytes)) << p.string(); }

// Local time of day, as Explorer and the listing show it.
void setModified(const fs::path& p, WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME local{year, month, 0, day, hour, minute, 0, 0}, utc{};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &ft));
    HANDLE f = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(f, nullptr, nullptr, &ft));
    CloseHandle(f);
}

std::vector<std::vector<std::wstring>> rows(HWND list) {
    std::vector<std::vector<std::wstring>> out;
    int n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        std::vector<std::wstring> row;
        for (int col = 0; col < 3; ++col) {
            wchar_t buf[260] = {};
            LVITEMW item{};
            item.iSubItem = col;
            item.pszText = buf;
            item.cchTextMax = 260;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
            row.emplace_back(buf);
        }
        out.push_back(row);
    }
    return out;
}

std::vector<std::wstring> names(HWND list) {
    std::vector<std::wstring> out;
    for (auto& r : rows(list)) out.push_back(r[0]);
    return out;
}

int rowOf(HWND list, const std::wstring& name) {
    auto n = names(list);
    auto it = std::find(n.begin(), n.end(), name);
    return it == n.end() ? -1 : static_cast<int>(it - n.begin());
}

// A double click where a user would make it: on the row's name.
void doubleClickRow(HWND list, int row) {
    RECT rc{};
    rc.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc)));
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
}

// True once this process can open the file with no sharing at all.
bool closedByOthers(const fs::path& p) {
    HANDLE f = CreateFileW(p.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    CloseHandle(f);
    return true;
}

int childCount(HWND h) {
    int n = 0;
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++n;
    return n;
}

class WebViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The stand-in is what these tests check; on Windows with its engine the browser would take over.
        WebView::setStandInOnly(true);
        WebView::setShellHook([this](const std::wstring& target) { opened.push_back(target); });
        rt::setLastWindowGoneHandler([] {});
        window.create();
        ASSERT_TRUE(window.alive());
        view = window.control(u8"浏览器").hwnd();
        ASSERT_NE(view, nullptr);
    }
    void TearDown() override {
        WebView::setShellHook({});
        WebView::setStandInOnly(false);
        rt::setLastWindowGoneHandler({});
    }
    [[nodiscard]] WebView web() const { return WebView(view); }
    [[nodiscard]] HWND part(int id) const { return GetDlgItem(view, id); }

    // 资料/, 第1章.txt (2000 bytes), 第2章.txt, 第10章.txt, notes.htm, a hidden file.
    fs::path makeChapterFolder() {
        fs::path folder = dir.path() / L"小说文件";
        fs::create_directories(folder / L"资料");
        writeBytes(folder / L"第1章.txt", std::string(2000, 'x'));
        writeBytes(folder / L"第2章.txt", gbk(u8"第二章"));
        writeBytes(folder / L"第10章.txt", "");
        writeBytes(folder / L"notes.htm", "<title>n</title>");
        writeBytes(folder / L"hidden.txt", "h");
        SetFileAttributesW((folder / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
        setModified(folder / L"第1章.txt", 2021, 3, 4, 10, 5);
        return folder;
    }

    TempProgramDir dir{L"penloom-web"};
    rt::Window window{kForm};
    HWND view = nullptr;
    std::vector<std::wstring> opened;
};

TEST_F(WebViewTest, FolderShowsItsListingFoldersFirstInExplorerOrder) {
    fs::path folder = makeChapterFolder();
    web().navigate(folder.wstring());

    HWND list = part(WebView::kListId);
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(IsWindowVisible(list));
    EXPECT_EQ(names(list), (std::vector<std::wstring>{L"资料", L"notes.htm", L"第1章.txt", L"第2章.txt", L"第10章.txt"}))
        << "hidden files stay out; numbers in names sort by value";
    auto r = rows(list);
    const auto& chapter1 = r[static_cast<std::size_t>(rowOf(list, L"第1章.txt"))];
    EXPECT_NE(chapter1[1].find(L"2021"), std::wstring::npos) << chapter1[1];
    EXPECT_NE(chapter1[1].find(L"10:05"), std::wstring::npos) << chapter1[1];
    EXPECT_EQ(chapter1[2], L"2 KB");
    EXPECT_EQ(r[0][2], L"") << "a folder has no size";

    RECT viewRc{}, listRc{};
    GetClientRect(view, &viewRc);
    GetWindowRect(list, &listRc);
    EXPECT_EQ(listRc.right - listRc.left, viewRc.right) << "the listing fills the view";
    EXPECT_EQ(listRc.bottom - listRc.top, viewRc.bottom);

    EXPECT_EQ(web().title(), "") << "a folder has no page title";
    EXPECT_EQ(web().address(), rt::fromWide(folder.wstring()));
    EXPECT_EQ(windowText(view), folder.wstring()) << "the window text is the address, for outside tools";
    EXPECT_TRUE(web().usesStandIn());
}

TEST_F(WebViewTest, LocalPagesShowTheirTitleAndTextInTheirCharset) {
    struct Case {
        std::wstring file;
        std::string bytes;
        std::u8string_view title, text;
    };
    const Case cases[] = {
        {L"index.htm", readBytes(sourceDir() / "installer" / "payload" / "index.htm"), u8"无标题文档",
         u8"没有连接互联网、无法获取更新程序"},
        {L"第一章.htm",
         gbk(u8"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
             u8"<title>第一章 风起</title></head><body><p>风起于青萍之末。</p><p>浪成于微澜之间。</p></body></html>"),
         u8"第一章 风起", u8"风起于青萍之末。\r\n\r\n浪成于微澜之间。"},
        {L"旧页.HTML", gbk(u8"<TITLE>未声明编码</TITLE><BODY>正文&amp;附录<script>x()</script></BODY>"), u8"未声明编码",
         u8"正文&附录"},
        {L"无标题.html", "<p>no title</p>", u8"", u8"no title"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rt::fromWide(c.file));
        fs::path page = dir.path() / c.file;
        writeBytes(page, c.bytes);
        web().navigate(rt::fromWide(page.wstring()));  // the GBK form, as the program's own code passes it

        EXPECT_EQ(web().title(), gbk(c.title));
        HWND title = part(WebView::kTitleId), text = part(WebView::kTextId);
        ASSERT_NE(title, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(rt::fromWide(windowText(title)), gbk(c.title));
        EXPECT_EQ(rt::fromWide(windowText(text)), gbk(c.text));
        EXPECT_TRUE(GetWindowLongW(text, GWL_STYLE) & ES_READONLY);
        EXPECT_EQ(part(WebView::kListId), nullptr);
    }
}

TEST_F(WebViewTest, PageTextScrollsOnlyWhenLongerThanTheView) {
    std::string longPage = gbk(u8"<title>长章</title>");
    for (int i = 0; i < 200; ++i) longPage += gbk(u8"<p>第") + std::to_string(i) + gbk(u8"段</p>");
    struct Case {
        std::wstring file;
        std::string bytes;
        bool scrolls;
    };
    const Case cases[] = {
        {L"短.htm", readBytes(sourceDir() / "installer" / "payload" / "index.htm"), false},
        {L"长.htm", longPage, true},
        {L"短2.htm", "<p>short again</p>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rt::fromWide(c.file));
        writeBytes(dir.path() / c.file, c.bytes);
        web().navigate((dir.path() / c.file).wstring());
        EXPECT_EQ((GetWindowLongW(part(WebView::kTextId), GWL_STYLE) & WS_VSCROLL) != 0, c.scrolls);
    }
}

TEST_F(WebViewTest, PartsUseTheWindowsFontAndTheTitleABoldOne) {
    writeBytes(dir.path() / L"index.htm", readBytes(sourceDir() / "installer" / "payload" / "index.htm"));
    web().navigate((dir.path() / L"index.htm").wstring());
    auto windowFont = reinterpret_cast<HFONT>(SendMessageW(view, WM_GETFONT, 0, 0));
    ASSERT_NE(windowFont, nullptr) << "the window hands its font to the view";
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(part(WebView::kTextId), WM_GETFONT, 0, 0)), windowFont);
    LOGFONTW body{}, heading{};
    GetObjectW(windowFont, sizeof body, &body);
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(part(WebView::kTitleId), WM_GETFONT, 0, 0)), sizeof heading, &heading);
    EXPECT_STREQ(heading.lfFaceName, body.lfFaceName);
    EXPECT_GE(heading.lfWeight, FW_BOLD);

    // A later font (a DPI change) reaches the parts already shown.
    rt::UniqueFont bigger(rt::createUiFont(12, false, 96));
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(bigger.get()), TRUE);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(part(WebView::kTextId), WM_GETFONT, 0, 0)), bigger.get());
    SendMessageW(view, WM_SETFONT, reinterpret_cast<WPARAM>(windowFont), FALSE);
}

TEST_F(WebViewTest, WebAddressesShowTheAddressAndOpenInTheSystemBrowser) {
    struct Case {
        std::u8string_view typed;
        std::wstring address;
        std::wstring heading;
    };
    const Case cases[] = {
        {u8"www.example.com", L"http://www.example.com", L"www.example.com"},
        {u8"  www.qidian.com/book?id=1 ", L"http://www.qidian.com/book?id=1", L"www.qidian.com"},
        {u8"https://www.baidu.com/s?wd=小说", L"https://www.baidu.com/s?wd=小说", L"www.baidu.com"},
        {u8"localhost:8080", L"http://localhost:8080", L"localhost:8080"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(rt::toUtf8(gbk(c.typed)));
        opened.clear();
        web().navigate(gbk(c.typed));
        EXPECT_EQ(web().title(), "");
        EXPECT_EQ(web().address(), rt::fromWide(c.address));
        EXPECT_EQ(windowText(part(WebView::kAddressId)), c.address);
        EXPECT_EQ(windowText(part(WebView::kTitleId)), c.heading);
        HWND open = part(WebView::kOpenId);
        ASSERT_NE(open, nullptr);
        EXPECT_EQ(windowText(open), L"在浏览器中打开");
        EXPECT_TRUE(IsWindowVisible(open) && IsWindowEnabled(open));
        SendMessageW(open, BM_CLICK, 0, 0);
        EXPECT_EQ(opened, std::vector<std::wstring>{c.address});
    }
}

TEST_F(WebViewTest, EachNavigationReplacesWhatWasShown) {
    fs::path folder = makeChapterFolder();
    writeBytes(dir.path() / L"index.htm", readBytes(sourceDir() / "installer" / "payload" / "index.htm"));
    struct Step {
        std::wstring address;
        std::vector<int> present;
        std::string title;
    };
    const std::vector<int> all{WebView::kListId, WebView::kTitleId, WebView::kTextId, WebView::kAddressId, WebView::kOpenId};
    const Step steps[] = {
        {folder.wstring(), {WebView::kListId}, ""},
        {(dir.path() / L"index.htm").wstring(), {WebView::kTitleId, WebView::kTextId}, gbk(u8"无标题文档")},
        {L"www.example.com", {WebView::kTitleId, WebView::kAddressId, WebView::kOpenId}, ""},
        {folder.wstring(), {WebView::kListId}, ""},
        {L"", {}, ""},
        {(dir.path() / L"index.htm").wstring(), {WebView::kTitleId, WebView::kTextId}, gbk(u8"无标题文档")},
    };
    int childrenOfFolder = -1;
    for (const auto& s : steps) {
        SCOPED_TRACE(rt::toUtf8(rt::fromWide(s.address)));
        web().navigate(s.address);
        for (int id : all) {
            bool expected = std::find(s.present.begin(), s.present.end(), id) != s.present.end();
            EXPECT_EQ(part(id) != nullptr, expected) << "part " << id;
        }
        EXPECT_EQ(web().title(), s.title);
        if (!s.present.empty() && s.present[0] == WebView::kListId) {
            if (childrenOfFolder < 0) childrenOfFolder = childCount(view);
            EXPECT_EQ(childCount(view), childrenOfFolder) << "the parts of earlier pages are gone";
            EXPECT_EQ(names(part(WebView::kListId)).size(), 5u);
        }
    }
}

TEST_F(WebViewTest, MissingPathsShowAnErrorPageAndTheViewGoesOn) {
    const fs::path missing[] = {dir.path() / L"不存在.htm", dir.path() / L"没有这个文件夹", dir.path() / L"a" / L"b" / L"c"};
    for (const auto& p : missing) {
        SCOPED_TRACE(rt::toUtf8(rt::fromWide(p.wstring())));
        web().navigate(p.wstring());
        EXPECT_EQ(web().title(), "");
        EXPECT_EQ(web().address(), rt::fromWide(p.wstring()));
        EXPECT_EQ(windowText(part(WebView::kTitleId)), L"无法显示此页");
        EXPECT_EQ(windowText(part(WebView::kAddressId)), p.wstring());
        EXPECT_EQ(part(WebView::kOpenId), nullptr) << "nothing to open";
        EXPECT_EQ(part(WebView::kListId), nullptr);
    }
    fs::path folder = makeChapterFolder();
    web().navigate(folder.wstring());
    EXPECT_EQ(names(part(WebView::kListId)).size(), 5u);
}

TEST_F(WebViewTest, DoubleClickOpensFilesWithTheShellAndFoldersInPlace) {
    fs::path folder = makeChapterFolder();
    writeBytes(folder / L"资料" / L"人物.txt", "");
    web().navigate(folder.wstring());
    HWND list = part(WebView::kListId);
    ASSERT_NE(list, nullptr);

    doubleClickRow(list, rowOf(list, L"第2章.txt"));
    EXPECT_EQ(opened, std::vector<std::wstring>{(folder / L"第2章.txt").wstring()});

    doubleClickRow(list, rowOf(list, L"资料"));
    EXPECT_TRUE(pumpUntil([&] { return windowText(view) == (folder / L"资料").wstring(); }));
    EXPECT_EQ(opened.size(), 1u) << "a folder is not handed to the shell";
    list = part(WebView::kListId);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(names(list), std::vector<std::wstring>{L"人物.txt"});

    // Backspace goes back up and F5 lists again, as in Explorer.
    SendMessageW(list, WM_KEYDOWN, VK_BACK, 0);
    EXPECT_TRUE(pumpUntil([&] { return windowText(view) == folder.wstring(); }));
    EXPECT_EQ(names(part(WebView::kListId)).size(), 5u);
    writeBytes(folder / L"第3章.txt", "");
    EXPECT_EQ(names(part(WebView::kListId)).size(), 5u) << "a listing is taken when the folder is opened";
    SendMessageW(part(WebView::kListId), WM_KEYDOWN, VK_F5, 0);
    EXPECT_TRUE(pumpUntil([&] { return rowOf(part(WebView::kListId), L"第3章.txt") == 4; }));
}

TEST_F(WebViewTest, DoubleClickRunsTheFileThroughTheRealShell) {
    WebView::setShellHook({});
    fs::path folder = dir.path() / L"脚本";
    fs::create_directories(folder);
    // A batch file that leaves a mark beside itself shows that the shell ran it, Chinese name and all.
    writeBytes(folder / L"留下标记.bat", "@echo off\r\necho opened> \"%~dp0mark.txt\"\r\n");
    web().navigate(folder.wstring());
    HWND list = part(WebView::kListId);
    ASSERT_NE(list, nullptr);
    doubleClickRow(list, rowOf(list, L"留下标记.bat"));
    EXPECT_TRUE(pumpUntil([&] { return fs::exists(folder / "mark.txt"); }, 30000));
    // The folder goes at the end of the test; under Wine, removing it while the batch still holds its
    // files open makes the removal spin. Wait until nothing else has them open.
    EXPECT_TRUE(pumpUntil([&] { return closedByOthers(folder / "mark.txt") && closedByOthers(folder / L"留下标记.bat"); }, 30000));
}

TEST_F(WebViewTest, TheWindowTextIsTheAddressBothWays) {
    rt::Control& c = window.control(u8"浏览器");
    c.setText(gbk(u8"www.example.com"));
    EXPECT_EQ(c.text(), "http://www.example.com");
    EXPECT_EQ(windowText(part(WebView::kAddressId)), L"http://www.example.com");

    // A definition's text is the first address: the hidden probe view starts on the portal.
    WebView probe(window.control(u8"测试"));
    EXPECT_EQ(probe.address(), "http://www.baidu.com");
    EXPECT_EQ(probe.title(), "") << "no page can load here";
    EXPECT_FALSE(IsWindowVisible(probe.hwnd()));
}

TEST(WebViewEngine, WithoutAnHtmlEngineTheStandInTakesOver) {
    if (rt::htmlEngineAvailable()) GTEST_SKIP() << "this machine has an HTML engine";
    rt::setLastWindowGoneHandler([] {});
    rt::Window window(kForm);
    window.create();
    WebView v(window.control(u8"浏览器"));
    v.navigate(std::string("www.example.com"));
    EXPECT_TRUE(v.usesStandIn());
    EXPECT_NE(GetDlgItem(v.hwnd(), WebView::kOpenId), nullptr);
    rt::setLastWindowGoneHandler({});
}

}  // namespace

// The OLE container around the browser object: Wine creates the object even without its HTML engine,
// so placing, sizing, events and teardown run here too; only pages do not load.
TEST(WebViewContainer, PlacesTheBrowserInTheViewAndTakesItDownCleanly) {
    const rt::ControlDef none[] = {{.kind = rt::Kind::Label, .name = u8"标签", .w = 10, .h = 10}};
    const rt::WindowDef form{.name = u8"容器", .title = u8"容器", .w = 400, .h = 300, .captionBar = true, .controls = none};
    rt::setLastWindowGoneHandler([] {});
    rt::Window window(form);
    window.create();
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        auto host = rt::BrowserHost::create(window.hwnd(), true);
        ASSERT_NE(host, nullptr) << "the browser object is created and placed in place";
        HWND browser = nullptr;
        for (HWND c = GetWindow(window.hwnd(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            wchar_t cls[64] = {};
            GetClassNameW(c, cls, 64);
            if (std::wstring_view(cls) != L"Static") browser = c;
        }
        ASSERT_NE(browser, nullptr) << "the browser's window is a child of the host window";
        RECT area{10, 20, 310, 220};
        host->resize(area);
        RECT placed{};
        GetWindowRect(browser, &placed);
        MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&placed), 2);
        EXPECT_EQ(placed.left, area.left);
        EXPECT_EQ(placed.top, area.top);
        EXPECT_EQ(placed.right, area.right);
        EXPECT_EQ(placed.bottom, area.bottom);
        host->navigate(L"about:blank");
        pumpFor(100);
        EXPECT_EQ(host->title(), L"");
        host.reset();
        pumpFor(50);
        EXPECT_FALSE(IsWindow(browser)) << "closing the object takes its window down";
    }
    rt::setLastWindowGoneHandler({});
}

// Not a check: keeps stand-in views on screen for tests/e2e/webview_shots.sh to photograph.
TEST(WebViewShowcase, DISABLED_HoldStandInsOnScreen) {
    const rt::ControlDef view[] = {{.kind = rt::Kind::HtmlView, .name = u8"浏览器", .x = 0, .y = 0, .w = 520, .h = 260}};
    const rt::WindowDef folderForm{.name = u8"样例", .title = u8"网页视图-文件夹", .w = 520, .h = 260, .captionBar = true, .controls = view};
    const rt::WindowDef pageForm{.name = u8"样例", .title = u8"网页视图-离线页", .w = 520, .h = 260, .captionBar = true, .controls = view};
    const rt::WindowDef webForm{.name = u8"样例", .title = u8"网页视图-网址", .w = 520, .h = 260, .captionBar = true, .controls = view};
    TempProgramDir dir(L"penloom-shots");
    fs::path folder = dir.path() / L"小说文件";
    fs::create_directories(folder / L"资料");
    const wchar_t* chapters[] = {L"第1章 风起.txt", L"第2章 青萍.txt", L"第3章 微澜.txt", L"第10章 归来.txt", L"大纲.htm"};
    for (std::size_t i = 0; i < std::size(chapters); ++i) {
        writeBytes(folder / chapters[i], std::string(1500 + 2700 * i, 'x'));
    }
    writeBytes(dir.path() / L"index.htm", readBytes(sourceDir() / "installer" / "payload" / "index.htm"));

    rt::setLastWindowGoneHandler([] {});
    rt::Window folderWindow(folderForm), pageWindow(pageForm), webWindow(webForm);
    for (rt::Window* w : {&folderWindow, &pageWindow, &webWindow}) w->create();
    WebView(folderWindow.control(u8"浏览器")).navigate(folder.wstring());
    WebView(pageWindow.control(u8"浏览器")).navigate((dir.path() / L"index.htm").wstring());
    WebView(webWindow.control(u8"浏览器")).navigate(std::wstring(L"www.example.com"));
    // Side by side without overlap, whatever the DPI, so each can be photographed whole.
    RECT rc{};
    GetWindowRect(folderWindow.hwnd(), &rc);
    const int w = rc.right - rc.left + 20, h = rc.bottom - rc.top + 20;
    SetWindowPos(folderWindow.hwnd(), nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(pageWindow.hwnd(), nullptr, 10 + w, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(webWindow.hwnd(), nullptr, 10, 10 + h, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const char* hold = std::getenv("PENLOOM_SHOWCASE_MS");
    pumpFor(hold ? std::atoi(hold) : 0);
    EXPECT_TRUE(WebView(folderWindow.control(u8"浏览器")).usesStandIn());
    rt::setLastWindowGoneHandler({});
}
