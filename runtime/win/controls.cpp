#include "runtime/win/controls.hpp"

#include <commctrl.h>
#include <windowsx.h>

#include <functional>
#include <map>
#include <string>

#include "runtime/text.hpp"
#include "runtime/win/controls_more.hpp"
#include "runtime/win/pictures.hpp"
#include "runtime/win/webview.hpp"

namespace rt {

namespace {

constexpr wchar_t kPanelClass[] = L"PenloomPanel";
constexpr wchar_t kPictureClass[] = L"PenloomPicture";
constexpr wchar_t kLabelClass[] = L"PenloomLabel";

// Per-window state of our own control classes.
struct OwnControl {
    const ControlDef* def = nullptr;  // null for pages
    HWND topLevel = nullptr;
    HFONT font = nullptr;
    bool hover = false;
    bool pressed = false;
    bool tracking = false;
};

OwnControl* state(HWND h) { return reinterpret_cast<OwnControl*>(GetWindowLongPtrW(h, GWLP_USERDATA)); }

LRESULT panelMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, OwnControl* s) {
    if (forwardsToTop(msg)) return SendMessageW(s->topLevel, msg, wp, lp);
    switch (msg) {
        case WM_ERASEBKGND:
        case WM_PRINTCLIENT:
            paintBackground(h, reinterpret_cast<HDC>(wp), s->def ? s->def->picture : nullptr,
                            s->def ? s->def->background : kPageColour);
            return 1;
        default:
            return DefWindowProcW(h, msg, wp, lp);
    }
}

void clickPicture(HWND h) {
    SendMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), BN_CLICKED), reinterpret_cast<LPARAM>(h));
}

LRESULT pictureMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, OwnControl* s) {
    const bool clickable = s->def->kind == Kind::PictureButton;
    if (clickable && pushButtonMessage(h, msg, wp, lp, s->pressed, [h] { clickPicture(h); })) {
        // Pressed shows the hover picture, offset. Only on a press: the action may have ended the window.
        if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) s->hover = true;
        return 0;
    }
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT:
            paintBuffered(h, [&](HDC dc, const RECT& rc) {
                const wchar_t* pic = (s->hover || s->pressed) && s->def->hoverPicture ? s->def->hoverPicture : s->def->picture;
                RECT where = rc;
                if (s->pressed && s->hover) OffsetRect(&where, 1, 1);
                if (pic) drawPicture(dc, pic, where);
                if (clickable && GetFocus() == h && !(SendMessageW(h, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS)) {
                    RECT f = rc;
                    InflateRect(&f, -1, -1);
                    DrawFocusRect(dc, &f);
                }
            });
            return 0;
        case WM_MOUSEMOVE:
            if (!clickable) break;
            if (!s->tracking) {
                TRACKMOUSEEVENT tme{sizeof tme, TME_LEAVE, h, 0};
                s->tracking = TrackMouseEvent(&tme) != FALSE;
            }
            if (!s->hover || s->pressed) {
                POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
                RECT rc;
                GetClientRect(h, &rc);
                bool inside = PtInRect(&rc, pt) != FALSE;
                if (inside != s->hover) {
                    s->hover = inside;
                    InvalidateRect(h, nullptr, FALSE);
                }
            }
            return 0;
        case WM_MOUSELEAVE:
            s->tracking = false;
            if (s->hover) {
                s->hover = false;
                InvalidateRect(h, nullptr, FALSE);
            }
            return 0;
        case WM_GETDLGCODE:
            return clickable ? DLGC_BUTTON : 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(h, nullptr, FALSE);
            break;
        case WM_NCHITTEST:
            // A picture without action lets the mouse through to what lies beneath (a window's drag band).
            if (!clickable) return HTTRANSPARENT;
            break;
        default: break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

LRESULT labelMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, OwnControl* s) {
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_SETFONT:
            s->font = reinterpret_cast<HFONT>(wp);
            if (LOWORD(lp)) InvalidateRect(h, nullptr, FALSE);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(s->font);
        case WM_SETTEXT: {
            LRESULT r = DefWindowProcW(h, msg, wp, lp);
            InvalidateRect(h, nullptr, FALSE);
            return r;
        }
        case WM_NCHITTEST: return HTTRANSPARENT;
        case WM_PAINT:
            paintBuffered(h, [&](HDC dc, const RECT& rc) {
                int n = GetWindowTextLengthW(h);
                std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
                GetWindowTextW(h, text.data(), n + 1);
                text.resize(static_cast<std::size_t>(n));
                HGDIOBJ oldFont = SelectObject(dc, s->font ? s->font : GetStockObject(DEFAULT_GUI_FONT));
                SetBkMode(dc, TRANSPARENT);
                SetTextColor(dc, s->def->textColour != CLR_INVALID ? s->def->textColour : RGB(31, 58, 95));
                RECT r = rc;
                DrawTextW(dc, text.c_str(), n, &r, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
                SelectObject(dc, oldFont);
            });
            return 0;
        default: break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

std::map<COLORREF, HBRUSH>& brushes() {
    static std::map<COLORREF, HBRUSH> cache;
    return cache;
}

HBRUSH solidBrush(COLORREF c) {
    auto& cache = brushes();
    auto it = cache.find(c);
    if (it != cache.end()) return it->second;
    HBRUSH b = CreateSolidBrush(c);
    cache.emplace(c, b);
    return b;
}

}  // namespace

void paintBuffered(HWND h, const std::function<void(HDC, const RECT&)>& draw) {
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(h, &ps);
    RECT rc;
    GetClientRect(h, &rc);
    HDC mem = CreateCompatibleDC(hdc);
    HBITMAP bmp = CreateCompatibleBitmap(hdc, rc.right > 0 ? rc.right : 1, rc.bottom > 0 ? rc.bottom : 1);
    HGDIOBJ old = SelectObject(mem, bmp);
    paintParentBackground(h, mem);
    draw(mem, rc);
    BitBlt(hdc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    EndPaint(h, &ps);
}

bool forwardsToTop(UINT msg) {
    switch (msg) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_DRAWITEM:
        case WM_MEASUREITEM:
        case kControlKeyDown:
        case kControlKeyUp:
            return true;
        default:
            return false;
    }
}

void registerOwnClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, UINT style) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

void registerControlClasses(HINSTANCE instance) {
    registerOwnClass(instance, kPanelClass, ownControlProc<OwnControl, panelMessage>, 0);
    registerOwnClass(instance, kPictureClass, ownControlProc<OwnControl, pictureMessage>, CS_DBLCLKS);
    registerOwnClass(instance, kLabelClass, ownControlProc<OwnControl, labelMessage>, 0);
    registerMoreControlClasses(instance);
}

void paintBackground(HWND container, HDC hdc, const wchar_t* picture, COLORREF colour) {
    RECT rc;
    GetClientRect(container, &rc);
    FillRect(hdc, &rc, solidBrush(colour != CLR_INVALID ? colour : GetSysColor(COLOR_BTNFACE)));
    if (picture) drawPicture(hdc, picture, rc);
}

void paintParentBackground(HWND child, HDC hdc) {
    HWND container = GetParent(child);
    if (!container) return;
    RECT mine;
    GetWindowRect(child, &mine);
    // A control lying over a sibling container (a page, a canvas) shows that container, not its parent.
    HWND candidate = GetWindow(child, GW_HWNDNEXT);
    while (candidate) {
        HWND next = nullptr;
        for (HWND s = candidate; s; s = GetWindow(s, GW_HWNDNEXT)) {
            if (!IsWindowVisible(s)) continue;
            wchar_t cls[32] = {};
            GetClassNameW(s, cls, 32);
            RECT r;
            GetWindowRect(s, &r);
            POINT centre{(mine.left + mine.right) / 2, (mine.top + mine.bottom) / 2};
            if (std::wstring(cls) == kPanelClass && PtInRect(&r, centre)) {
                next = s;
                break;
            }
        }
        if (!next) break;
        container = next;
        candidate = GetWindow(next, GW_CHILD);
    }
    POINT origin{mine.left, mine.top};
    ScreenToClient(container, &origin);
    POINT old;
    OffsetViewportOrgEx(hdc, -origin.x, -origin.y, &old);
    SendMessageW(container, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    SetViewportOrgEx(hdc, old.x, old.y, nullptr);
}

LRESULT colourStatic(HDC hdc, HWND control, const ControlDef* def) {
    if (def && def->textColour != CLR_INVALID) SetTextColor(hdc, def->textColour);
    SetBkMode(hdc, TRANSPARENT);
    // Plain labels and group boxes take the colour of the container they sit on.
    HWND parent = GetParent(control);
    wchar_t cls[32] = {};
    GetClassNameW(parent, cls, 32);
    COLORREF c = GetSysColor(COLOR_BTNFACE);
    if (std::wstring(cls) == kPanelClass) {
        OwnControl* s = state(parent);
        c = s && s->def ? (s->def->background != CLR_INVALID ? s->def->background : c) : kPageColour;
    }
    SetBkColor(hdc, c);
    return reinterpret_cast<LRESULT>(solidBrush(c));
}

HWND createControl(const ControlDef& d, HWND parent, int id, HWND topLevel) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    DWORD style = WS_CHILD | (d.visible ? WS_VISIBLE : 0);
    DWORD ex = 0;
    const wchar_t* cls = nullptr;
    void* param = nullptr;
    std::wstring text = d.kind == Kind::PageControl ? std::wstring() : toWide(gbk(d.text));
    switch (d.kind) {
        case Kind::PictureButton:
            cls = kPictureClass;
            style |= WS_TABSTOP;
            param = new OwnControl{&d, topLevel};
            break;
        case Kind::Picture:
            cls = kPictureClass;
            param = new OwnControl{&d, topLevel};
            break;
        case Kind::Canvas:
            cls = kPanelClass;
            style |= WS_CLIPCHILDREN;
            ex |= WS_EX_CONTROLPARENT;
            param = new OwnControl{&d, topLevel};
            break;
        case Kind::TransparentLabel:
            cls = kLabelClass;
            param = new OwnControl{&d, topLevel};
            break;
        case Kind::PageControl:
            cls = WC_TABCONTROLW;
            style |= WS_CLIPSIBLINGS | WS_TABSTOP;
            break;
        case Kind::Label:
            cls = WC_STATICW;
            style |= SS_NOPREFIX;
            break;
        case Kind::ProgressBar:
            cls = PROGRESS_CLASSW;
            break;
        case Kind::Button:
            cls = WC_BUTTONW;
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case Kind::Edit:
            cls = WC_EDITW;
            style |= WS_TABSTOP | ES_AUTOHSCROLL;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case Kind::MultiLineEdit:
            cls = WC_EDITW;
            style |= WS_TABSTOP | ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case Kind::ListBox:
            cls = WC_LISTBOXW;
            style |= WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
            ex |= WS_EX_CLIENTEDGE;
            break;
        case Kind::GroupBox:
            cls = WC_BUTTONW;
            style |= BS_GROUPBOX;
            break;
        case Kind::HtmlView:
            cls = WebView::windowClass();
            style |= WS_CLIPCHILDREN;
            ex |= WS_EX_CONTROLPARENT;
            break;
        case Kind::Splitter:
        case Kind::ColourPicker:
        case Kind::IconList:
            return createMoreControl(d, parent, id, topLevel);
        case Kind::Timer:
            return nullptr;
    }
    HWND h = CreateWindowExW(ex, cls, text.c_str(), style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, param);
    if (!h) {
        delete static_cast<OwnControl*>(param);
        return nullptr;
    }
    if (d.kind == Kind::ProgressBar) SendMessageW(h, PBM_SETRANGE32, 0, d.rangeMax);
    if (d.kind == Kind::GroupBox) forwardNotifications(h, topLevel);
    if (d.kind == Kind::MultiLineEdit || d.kind == Kind::Edit) SendMessageW(h, EM_LIMITTEXT, 0, 0);
    return h;
}

HWND createPage(HWND parent, HWND topLevel, int index) {
    return CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                           parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(900 + index)), GetModuleHandleW(nullptr),
                           new OwnControl{nullptr, topLevel});
}

}  // namespace rt
