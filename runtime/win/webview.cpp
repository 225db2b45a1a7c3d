#include "runtime/win/webview.hpp"

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <uxtheme.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/web_page.hpp"
#include "runtime/win/handle.hpp"
#include "runtime/win/services.hpp"
#include "runtime/win/webview_host.hpp"
#include "runtime/win/window.hpp"

namespace rt {

namespace {

constexpr wchar_t kClass[] = L"PenloomWebView";
constexpr int kHintId = 6;
// Navigation asked for by the listing itself, carried out once the listing's own handler has returned.
constexpr UINT kNavigatePending = WM_APP + 1;

bool g_standInOnly = false;
std::function<void(const std::wstring&)> g_shellHook;

enum class Shown { Blank, Folder, Page, Web, File, Missing, Browser };

struct Entry {
    std::wstring name;
    bool folder = false;
    ULONGLONG size = 0;
    FILETIME modified{};
};

struct View {
    HWND hwnd = nullptr;
    HFONT font = nullptr;  // the window's, from WM_SETFONT
    UniqueFont heading;    // bold and larger, made from it
    std::wstring address;
    std::wstring title;
    bool addressIsFolder = false;
    Shown shown = Shown::Blank;
    std::unique_ptr<BrowserHost> browser;
    bool browserTried = false;
    std::vector<HWND> parts;
    std::vector<Entry> entries;  // listing order
    std::wstring pending;        // address for kNavigatePending
};

View* viewOf(HWND h) {
    if (!h) return nullptr;
    wchar_t cls[32] = {};
    GetClassNameW(h, cls, 32);
    if (std::wstring_view(cls) != kClass) return nullptr;
    return reinterpret_cast<View*>(GetWindowLongPtrW(h, GWLP_USERDATA));
}

HFONT bodyFont(const View& v) { return v.font ? v.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

void makeHeadingFont(View& v) {
    LOGFONTW lf{};
    GetObjectW(bodyFont(v), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    lf.lfHeight = lf.lfHeight * 4 / 3;
    v.heading.reset(CreateFontIndirectW(&lf));
}

HFONT fontFor(const View& v, int id) { return (id == WebView::kTitleId && v.heading) ? v.heading.get() : bodyFont(v); }

SIZE textSize(HWND h, HFONT font, std::wstring_view text) {
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    size.cy = tm.tmHeight + tm.tmExternalLeading;
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    return size;
}

void shellOpenTarget(const std::wstring& target, bool local) {
    if (g_shellHook) {
        g_shellHook(target);
        return;
    }
    // No error dialog on failure (the shell service asks for none); the view has nothing more to say.
    if (local) (void)shellOpen(std::filesystem::path(target));
    else (void)shellOpenAddress(target);
}

HWND addPart(View& v, const wchar_t* cls, const std::wstring& text, DWORD style, int id) {
    HWND h = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, v.hwnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (h) {
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(v, id)), FALSE);
        v.parts.push_back(h);
    }
    return h;
}

void clearParts(View& v) {
    for (HWND h : v.parts) DestroyWindow(h);
    v.parts.clear();
    v.entries.clear();
    v.title.clear();
}

std::wstring joinPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L"\\" + name;
}

std::wstring modifiedText(const FILETIME& ft) {
    SYSTEMTIME utc{}, local{};
    if (!FileTimeToSystemTime(&ft, &utc) || !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return {};
    wchar_t date[64] = {}, time[64] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64);
    GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, 64);
    return std::wstring(date) + L" " + time;
}

std::vector<Entry> listFolder(const std::wstring& folder) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW fd{};
    HANDLE find = FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) return entries;
    do {
        std::wstring_view name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        // As Explorer shows a folder by default: hidden and system files stay out of sight.
        if (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        Entry e;
        e.name = fd.cFileName;
        e.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        e.size = (static_cast<ULONGLONG>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        e.modified = fd.ftLastWriteTime;
        entries.push_back(std::move(e));
    } while (FindNextFileW(find, &fd));
    FindClose(find);
    // Folders first, then names in Explorer's order (第2章 before 第10章).
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) return a.folder;
        return StrCmpLogicalW(a.name.c_str(), b.name.c_str()) < 0;
    });
    return entries;
}

void showFolder(View& v) {
    HWND list = addPart(v, WC_LISTVIEWW, L"",
                        WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS, WebView::kListId);
    if (!list) return;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    (void)SetWindowTheme(list, L"Explorer", nullptr);
    SHFILEINFOW sfi{};
    auto images = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(L"x", FILE_ATTRIBUTE_NORMAL, &sfi, sizeof sfi,
                                                               SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
    if (images) SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));

    const wchar_t* headers[] = {L"名称", L"修改日期", L"大小"};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
        col.fmt = i == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.pszText = const_cast<wchar_t*>(headers[i]);
        col.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&col));
    }

    v.entries = listFolder(v.address);
    for (std::size_t i = 0; i < v.entries.size(); ++i) {
        const Entry& e = v.entries[i];
        SHGetFileInfoW(e.name.c_str(), e.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &sfi, sizeof sfi,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<wchar_t*>(e.name.c_str());
        item.iImage = sfi.iIcon;
        int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        std::wstring when = modifiedText(e.modified);
        wchar_t size[32] = {};
        if (!e.folder) StrFormatKBSizeW(static_cast<LONGLONG>(e.size), size, 32);
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = when.data();
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = 2;
        sub.pszText = size;
        SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
    }
    v.shown = Shown::Folder;
}

void showPage(View& v) {
    PageText page = readPage(readFile(std::filesystem::path(v.address)));
    v.title = page.title;
    std::wstring text = page.text;
    // Edit controls break lines at CR LF only.
    for (std::size_t at = text.find(L'\n'); at != std::wstring::npos; at = text.find(L'\n', at + 2)) text.insert(at, 1, L'\r');
    addPart(v, WC_STATICW, page.title, SS_NOPREFIX | SS_ENDELLIPSIS, WebView::kTitleId);
    addPart(v, WC_STATICW, L"", SS_ETCHEDHORZ, 0);
    HWND body = addPart(v, WC_EDITW, L"", WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WebView::kTextId);
    if (body) {
        SendMessageW(body, EM_LIMITTEXT, 0, 0);
        SetWindowTextW(body, text.c_str());
    }
    v.shown = Shown::Page;
}

// A page the stand-in cannot show: a heading, the address, a line of explanation, and the way out if there is one.
void showNotice(View& v, Shown kind, const std::wstring& heading, const std::wstring& hint, const wchar_t* button) {
    addPart(v, WC_STATICW, heading, SS_NOPREFIX | SS_ENDELLIPSIS, WebView::kTitleId);
    addPart(v, WC_STATICW, v.address, SS_NOPREFIX | SS_PATHELLIPSIS, WebView::kAddressId);
    addPart(v, WC_STATICW, hint, SS_NOPREFIX | SS_ENDELLIPSIS, kHintId);
    if (button) addPart(v, WC_BUTTONW, button, WS_TABSTOP | BS_PUSHBUTTON, WebView::kOpenId);
    v.shown = kind;
}

// A read-only page text shows its scroll bar only when the text is longer than the box.
void fitScrollBar(HWND edit) {
    if (!edit) return;
    ShowScrollBar(edit, SB_VERT, FALSE);
    RECT rc;
    GetClientRect(edit, &rc);
    auto font = reinterpret_cast<HFONT>(SendMessageW(edit, WM_GETFONT, 0, 0));
    const int lineHeight = std::max<int>(textSize(edit, font, L"国").cy, 1);
    const auto lines = static_cast<int>(SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
    if (lines * lineHeight > rc.bottom) ShowScrollBar(edit, SB_VERT, TRUE);
}

// "www.example.com" of "http://www.example.com/a?b"; the whole address when it has no host.
std::wstring hostOf(const std::wstring& address) {
    std::size_t start = address.find(L"://");
    if (start == std::wstring::npos) return address;
    start += 3;
    std::size_t end = address.find_first_of(L"/?#", start);
    std::wstring host = address.substr(start, end == std::wstring::npos ? end : end - start);
    return host.empty() ? address : host;
}

void layout(View& v) {
    RECT rc;
    GetClientRect(v.hwnd, &rc);
    const int w = rc.right, h = rc.bottom;
    if (v.browser) {
        v.browser->resize(rc);
        return;
    }
    const SIZE line = textSize(v.hwnd, bodyFont(v), L"国");
    const SIZE head = textSize(v.hwnd, fontFor(v, WebView::kTitleId), L"国");
    const int margin = line.cy;
    auto place = [&](int id, int x, int y, int cx, int cy) {
        for (HWND part : v.parts) {
            if (GetDlgCtrlID(part) == id) {
                MoveWindow(part, x, y, std::max(cx, 0), std::max(cy, 0), TRUE);
                return part;
            }
        }
        return HWND{};
    };
    switch (v.shown) {
        case Shown::Folder: {
            HWND list = place(WebView::kListId, 0, 0, w, h);
            if (!list) break;
            const int pad = line.cy;
            const int dateW = textSize(v.hwnd, bodyFont(v), L"0000/00/00 00:00").cx + 2 * pad;
            const int sizeW = textSize(v.hwnd, bodyFont(v), L"000,000 KB").cx + 2 * pad;
            const int nameW = std::max(w - dateW - sizeW - GetSystemMetrics(SM_CXVSCROLL) - 4, static_cast<int>(line.cx) * 8);
            SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, nameW);
            SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, dateW);
            SendMessageW(list, LVM_SETCOLUMNWIDTH, 2, sizeW);
            break;
        }
        case Shown::Page: {
            int y = margin;
            place(WebView::kTitleId, margin, y, w - 2 * margin, head.cy);
            y += head.cy + margin / 2;
            place(0, margin, y, w - 2 * margin, 2);
            y += margin / 2 + 2;
            fitScrollBar(place(WebView::kTextId, margin, y, w - 2 * margin + margin / 2, h - y - margin / 2));
            break;
        }
        case Shown::Web:
        case Shown::File:
        case Shown::Missing: {
            int y = margin;
            place(WebView::kTitleId, margin, y, w - 2 * margin, head.cy);
            y += head.cy + margin / 2;
            place(WebView::kAddressId, margin, y, w - 2 * margin, line.cy);
            y += line.cy + margin / 2;
            place(kHintId, margin, y, w - 2 * margin, line.cy);
            y += line.cy + margin;
            int buttonW = 0;
            for (HWND part : v.parts) {
                if (GetDlgCtrlID(part) != WebView::kOpenId) continue;
                wchar_t caption[64] = {};
                GetWindowTextW(part, caption, 64);
                buttonW = textSize(v.hwnd, bodyFont(v), caption).cx + 2 * line.cy;
            }
            place(WebView::kOpenId, margin, y, buttonW, line.cy * 7 / 4);
            break;
        }
        case Shown::Blank:
        case Shown::Browser: break;
    }
}

void navigateTo(View& v, std::wstring_view requested) {
    WebAddress a = classifyAddress(requested);
    v.pending.clear();
    clearParts(v);
    v.address = a.text;
    v.addressIsFolder = false;
    DefWindowProcW(v.hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(v.address.c_str()));

    DWORD attributes = a.kind == AddressKind::Local ? GetFileAttributesW(v.address.c_str()) : INVALID_FILE_ATTRIBUTES;
    v.addressIsFolder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);

    if (!v.browser && !v.browserTried && !g_standInOnly && a.kind != AddressKind::Blank) {
        v.browserTried = true;
        v.browser = BrowserHost::create(v.hwnd);
    }
    if (v.browser) {
        v.shown = Shown::Browser;
        layout(v);
        v.browser->navigate(v.address);
        return;
    }

    switch (a.kind) {
        case AddressKind::Blank: v.shown = Shown::Blank; break;
        case AddressKind::Web:
            showNotice(v, Shown::Web, hostOf(v.address), L"这里无法显示网页，可以在浏览器中打开它。", L"在浏览器中打开");
            break;
        case AddressKind::Local: {
            std::wstring name = std::filesystem::path(v.address).filename().wstring();
            if (attributes == INVALID_FILE_ATTRIBUTES) {
                showNotice(v, Shown::Missing, L"无法显示此页", L"找不到这个文件或文件夹，请检查地址是否正确。", nullptr);
            } else if (v.addressIsFolder) {
                showFolder(v);
            } else if (isPageName(name)) {
                showPage(v);
            } else {
                showNotice(v, Shown::File, name, L"这里无法显示这个文件，可以用它的默认程序打开。", L"打开文件");
            }
            break;
        }
    }
    layout(v);
    InvalidateRect(v.hwnd, nullptr, TRUE);
}

// The list must not be destroyed inside its own notification: it goes on using itself afterwards.
void navigateSoon(View& v, std::wstring address) {
    v.pending = std::move(address);
    PostMessageW(v.hwnd, kNavigatePending, 0, 0);
}

void activateEntry(View& v, int index) {
    if (index < 0 || index >= static_cast<int>(v.entries.size())) return;
    const Entry& e = v.entries[static_cast<std::size_t>(index)];
    std::wstring path = joinPath(v.address, e.name);
    // Folders open in place, as in a browser's folder view; files with their own programs.
    if (e.folder) navigateSoon(v, path);
    else shellOpenTarget(path, true);
}

void goUp(View& v) {
    std::filesystem::path here(v.address);
    if (!here.has_relative_path()) return;  // a drive or share root
    if (!here.has_filename()) here = here.parent_path();  // a trailing separator
    navigateSoon(v, here.parent_path().wstring());
}

LRESULT CALLBACK viewProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* v = new View;
        v->hwnd = h;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(v));
        return DefWindowProcW(h, msg, wp, lp);
    }
    auto* v = reinterpret_cast<View*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (msg == WM_NCDESTROY) {
        delete v;
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        return DefWindowProcW(h, msg, wp, lp);
    }
    if (!v) return DefWindowProcW(h, msg, wp, lp);
    switch (msg) {
        case WM_CREATE: {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            if (cs->lpszName && *cs->lpszName) navigateTo(*v, cs->lpszName);
            return 0;
        }
        case WM_DESTROY:
            // The browser's window is one of ours; it goes before the children do.
            v->browser.reset();
            return 0;
        case WM_SETTEXT:
            navigateTo(*v, lp ? reinterpret_cast<const wchar_t*>(lp) : L"");
            return TRUE;
        case kNavigatePending:
            if (!v->pending.empty()) navigateTo(*v, std::wstring(v->pending));
            return 0;
        case WM_SETFONT:
            v->font = reinterpret_cast<HFONT>(wp);
            makeHeadingFont(*v);
            for (HWND part : v->parts) SendMessageW(part, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(*v, GetDlgCtrlID(part))), FALSE);
            layout(*v);
            if (LOWORD(lp)) InvalidateRect(h, nullptr, TRUE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(v->font);
        case WM_SIZE: layout(*v); return 0;
        case WM_ERASEBKGND: {
            RECT rc;
            GetClientRect(h, &rc);
            FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_WINDOW));
            return 1;
        }
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wp);
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            SetTextColor(dc, GetSysColor(GetDlgCtrlID(reinterpret_cast<HWND>(lp)) == kHintId ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        }
        case WM_COMMAND:
            if (LOWORD(wp) == WebView::kOpenId && HIWORD(wp) == BN_CLICKED) {
                shellOpenTarget(v->address, v->shown == Shown::File);
            }
            return 0;
        case WM_NOTIFY: {
            auto* nm = reinterpret_cast<NMHDR*>(lp);
            if (nm->idFrom != WebView::kListId) break;
            if (nm->code == LVN_ITEMACTIVATE) {
                activateEntry(*v, reinterpret_cast<NMITEMACTIVATE*>(lp)->iItem);
            } else if (nm->code == LVN_KEYDOWN) {
                // Backspace and F5 as in Explorer: up one folder, and list again.
                WORD key = reinterpret_cast<NMLVKEYDOWN*>(lp)->wVKey;
                if (key == VK_BACK) goUp(*v);
                else if (key == VK_F5) navigateSoon(*v, v->address);
            }
            return 0;
        }
        default: break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace

WebView::WebView(const Control& control) : hwnd_(control.hwnd()) {}

const wchar_t* WebView::windowClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = viewProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    return kClass;
}

void WebView::navigate(std::string_view gbkAddress) const { navigate(toWide(gbkAddress)); }

void WebView::navigate(std::wstring_view address) const {
    if (!viewOf(hwnd_)) return;
    std::wstring text(address);
    SendMessageW(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::string WebView::title() const {
    View* v = viewOf(hwnd_);
    if (!v) return {};
    if (v->browser) return v->addressIsFolder ? std::string() : fromWide(v->browser->title());
    return fromWide(v->title);
}

std::string WebView::address() const {
    View* v = viewOf(hwnd_);
    return v ? fromWide(v->address) : std::string();
}

bool WebView::usesStandIn() const {
    View* v = viewOf(hwnd_);
    return v && !v->browser;
}

void WebView::setShellHook(std::function<void(const std::wstring&)> hook) { g_shellHook = std::move(hook); }

void WebView::setStandInOnly(bool standInOnly) { g_standInOnly = standInOnly; }

}  // namespace rt
