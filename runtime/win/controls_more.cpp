#include "runtime/win/controls_more.hpp"

#include <commctrl.h>
#include <commdlg.h>
#include <windowsx.h>

#include <algorithm>
#include <string>

#include "runtime/text.hpp"
#include "runtime/win/controls.hpp"
#include "runtime/win/pictures.hpp"

namespace rt {

namespace {

constexpr wchar_t kSplitterClass[] = L"PenloomSplitter";
constexpr wchar_t kColourPickerClass[] = L"PenloomColourPicker";

constexpr COLORREF kInk = RGB(31, 58, 95);
constexpr COLORREF kEdge = RGB(143, 169, 198);
constexpr COLORREF kSelected = RGB(63, 124, 193);
constexpr COLORREF kSelectedIdle = RGB(215, 232, 250);

struct MoreState {
    const ControlDef* def = nullptr;
    HWND topLevel = nullptr;
    // Splitter.
    bool dragging = false;
    int grabX = 0;
    int startLeft = 0;
    // Colour picker.
    COLORREF colour = RGB(255, 255, 255);
    bool pressed = false;
};

// Top-left corner within the parent's client area.
POINT placeInParent(HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    POINT p{r.left, r.top};
    ScreenToClient(GetParent(h), &p);
    return p;
}

int leftInParent(HWND h) { return placeInParent(h).x; }

void moveLeftTo(HWND h, int left) {
    // Above its neighbours while dragged, so the author sees where it will land.
    SetWindowPos(h, HWND_TOP, left, placeInParent(h).y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void fillRect(HDC dc, const RECT& r, COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

int dpiOf(HWND h) {
    UINT dpi = GetDpiForWindow(h);
    return dpi ? static_cast<int>(dpi) : 96;
}

LRESULT splitterMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, MoreState* s) {
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
            return TRUE;
        case WM_PAINT:
            paintBuffered(h, [&](HDC dc, const RECT& rc) {
                // Two hairlines and a grip in the middle; the rest shows the window behind.
                const int mid = rc.right / 2;
                const int unit = MulDiv(1, dpiOf(h), 96);
                fillRect(dc, RECT{mid - 2 * unit, rc.top + 2, mid - unit, rc.bottom - 2}, RGB(201, 221, 242));
                fillRect(dc, RECT{mid + unit, rc.top + 2, mid + 2 * unit, rc.bottom - 2}, RGB(201, 221, 242));
                const int cy = rc.bottom / 2;
                for (int i = -1; i <= 1; ++i) {
                    int y = cy + i * 5 * unit;
                    fillRect(dc, RECT{mid - unit, y - unit, mid + unit, y + unit}, kEdge);
                }
            });
            return 0;
        case WM_LBUTTONDOWN:
            s->dragging = true;
            s->grabX = GET_X_LPARAM(lp);
            s->startLeft = leftInParent(h);
            SetCapture(h);
            return 0;
        case WM_MOUSEMOVE:
            if (s->dragging) moveLeftTo(h, leftInParent(h) + GET_X_LPARAM(lp) - s->grabX);
            return 0;
        case WM_LBUTTONUP: {
            if (!s->dragging) return 0;
            const int target = leftInParent(h) + GET_X_LPARAM(lp) - s->grabX;
            s->dragging = false;
            ReleaseCapture();
            moveLeftTo(h, target);
            DragReport report{s->startLeft, target};
            SendMessageW(s->topLevel, kControlDragged, reinterpret_cast<WPARAM>(h), reinterpret_cast<LPARAM>(&report));
            return 0;
        }
        case WM_CAPTURECHANGED:
            // Capture taken away mid-drag (another window, Escape): the drag is off.
            if (s->dragging) {
                s->dragging = false;
                moveLeftTo(h, s->startLeft);
            }
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_ESCAPE && s->dragging) ReleaseCapture();
            return 0;
        default: break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

COLORREF g_customColours[16] = {
    RGB(255, 255, 255), RGB(255, 249, 239), RGB(244, 249, 254), RGB(238, 245, 252), RGB(232, 240, 228), RGB(250, 240, 230),
    RGB(40, 40, 40),    RGB(31, 58, 95),    RGB(63, 124, 193),  RGB(90, 60, 40),    RGB(0, 0, 0),       RGB(255, 255, 255),
    RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255)};

void pickColour(HWND h, MoreState& s) {
    CHOOSECOLORW cc{};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = s.topLevel;
    cc.rgbResult = s.colour;
    cc.lpCustColors = g_customColours;
    cc.Flags = CC_RGBINIT | CC_FULLOPEN | CC_ANYCOLOR;
    if (!ChooseColorW(&cc) || !IsWindow(h) || cc.rgbResult == s.colour) return;
    s.colour = cc.rgbResult;
    InvalidateRect(h, nullptr, FALSE);
    SendMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), kColourChanged), reinterpret_cast<LPARAM>(h));
}

LRESULT colourPickerMessage(HWND h, UINT msg, WPARAM wp, LPARAM lp, MoreState* s) {
    if (pushButtonMessage(h, msg, wp, lp, s->pressed, [h, s] { pickColour(h, *s); })) {
        if ((msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) && GetFocus() != h) SetFocus(h);
        return 0;
    }
    switch (msg) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT:
            paintBuffered(h, [&](HDC dc, const RECT& rc) {
                const int unit = MulDiv(1, dpiOf(h), 96);
                RECT frame = rc;
                fillRect(dc, frame, GetFocus() == h ? kSelected : kEdge);
                InflateRect(&frame, -unit, -unit);
                fillRect(dc, frame, RGB(255, 255, 255));
                InflateRect(&frame, -2 * unit, -2 * unit);
                if (s->pressed) OffsetRect(&frame, unit, unit);
                fillRect(dc, frame, s->colour);
            });
            return 0;
        case WM_GETDLGCODE: return DLGC_BUTTON;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            InvalidateRect(h, nullptr, FALSE);
            break;
        case kPickerGetColour: return static_cast<LRESULT>(s->colour);
        case kPickerSetColour:
            s->colour = static_cast<COLORREF>(wp);
            InvalidateRect(h, nullptr, FALSE);
            return 0;
        default: break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

LRESULT CALLBACK forwardSubclass(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    if (forwardsToTop(msg)) return SendMessageW(reinterpret_cast<HWND>(ref), msg, wp, lp);
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

void registerMoreControlClasses(HINSTANCE instance) {
    registerOwnClass(instance, kSplitterClass, ownControlProc<MoreState, splitterMessage>, 0);
    registerOwnClass(instance, kColourPickerClass, ownControlProc<MoreState, colourPickerMessage>, CS_DBLCLKS);
}

HWND createMoreControl(const ControlDef& d, HWND parent, int id, HWND topLevel) {
    HINSTANCE inst = GetModuleHandleW(nullptr);
    DWORD style = WS_CHILD | (d.visible ? WS_VISIBLE : 0);
    DWORD ex = 0;
    const wchar_t* cls = nullptr;
    MoreState* state = nullptr;
    switch (d.kind) {
        case Kind::Splitter:
            cls = kSplitterClass;
            state = new MoreState{&d, topLevel};
            break;
        case Kind::ColourPicker:
            cls = kColourPickerClass;
            style |= WS_TABSTOP;
            state = new MoreState{&d, topLevel};
            state->colour = d.background != CLR_INVALID ? d.background : RGB(255, 255, 255);
            break;
        case Kind::IconList:
            cls = WC_LISTBOXW;
            style |= WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | WS_VSCROLL;
            ex |= WS_EX_CLIENTEDGE;
            break;
        default:
            return nullptr;
    }
    std::wstring text = toWide(gbk(d.text));
    HWND h = CreateWindowExW(ex, cls, text.c_str(), style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, state);
    if (!h) {
        delete state;
        return nullptr;
    }
    if (d.kind == Kind::IconList) SendMessageW(h, LB_SETITEMHEIGHT, 0, MulDiv(20, dpiOf(topLevel), 96));
    return h;
}

void forwardNotifications(HWND groupBox, HWND topLevel) {
    if (groupBox) SetWindowSubclass(groupBox, forwardSubclass, 2, reinterpret_cast<DWORD_PTR>(topLevel));
}

void paintBand(HWND window, HDC hdc, const wchar_t* picture, COLORREF colour, int bandHeight) {
    RECT rc;
    GetClientRect(window, &rc);
    fillRect(hdc, rc, colour != CLR_INVALID ? colour : GetSysColor(COLOR_BTNFACE));
    if (picture) drawPicture(hdc, picture, RECT{0, 0, rc.right, std::min<LONG>(bandHeight, rc.bottom)});
}

void drawIconListItem(const DRAWITEMSTRUCT& item, const wchar_t* picture, int dpi) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool focused = GetFocus() == item.hwndItem;
    COLORREF back = selected ? (focused ? kSelected : kSelectedIdle) : GetSysColor(COLOR_WINDOW);
    COLORREF ink = selected && focused ? RGB(255, 255, 255) : kInk;
    fillRect(dc, rc, back);
    if (item.itemID != static_cast<UINT>(-1)) {
        const int margin = MulDiv(3, dpi, 96), icon = MulDiv(16, dpi, 96);
        const auto image = static_cast<LONG_PTR>(SendMessageW(item.hwndItem, LB_GETITEMDATA, item.itemID, 0));
        if (image == 0 && picture) {
            int top = rc.top + ((rc.bottom - rc.top) - icon) / 2;
            drawPicture(dc, picture, RECT{rc.left + margin, top, rc.left + margin + icon, top + icon});
        }
        auto n = static_cast<int>(SendMessageW(item.hwndItem, LB_GETTEXTLEN, item.itemID, 0));
        std::wstring text(static_cast<std::size_t>(n > 0 ? n : 0) + 1, L'\0');
        n = static_cast<int>(SendMessageW(item.hwndItem, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(text.data())));
        text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        RECT tr = rc;
        // Every title starts after the icon column, whether its item has an image or not.
        tr.left += 2 * margin + icon;
        tr.right -= margin;
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, ink);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    if (item.itemState & ODS_FOCUS) DrawFocusRect(dc, &rc);
}

}  // namespace rt
