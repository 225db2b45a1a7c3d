#include "runtime/win/window.hpp"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "runtime/text.hpp"
#include "runtime/win/controls.hpp"
#include "runtime/win/controls_more.hpp"
#include "runtime/win/pictures.hpp"
#include "runtime/win/services.hpp"

namespace rt {

namespace {

constexpr wchar_t kWindowClass[] = L"PenloomWindow";
constexpr UINT kTrayId = 1;
constexpr int kFirstControlId = 1000;
constexpr int kFirstMenuId = 3000;

int g_liveWindows = 0;
std::function<void()> g_lastWindowGone;
UINT g_taskbarCreated = 0;
unsigned g_changeNotices = 0;  // EN_CHANGE notifications seen, to tell whether WM_SETTEXT sent one

std::wstring wide(std::u8string_view utf8) { return toWide(gbk(utf8)); }

int currentModifiers() {
    int m = 0;
    if (GetKeyState(VK_CONTROL) & 0x8000) m += 1;
    if (GetKeyState(VK_SHIFT) & 0x8000) m += 2;
    if (GetKeyState(VK_MENU) & 0x8000) m += 4;
    return m;
}

// Key events of edit boxes and lists reach the window through this subclass.
LRESULT CALLBACK keySubclass(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
        auto* target = reinterpret_cast<HWND>(ref);
        const LRESULT swallowed =
            SendMessageW(target, msg == WM_KEYDOWN ? kControlKeyDown : kControlKeyUp, wp, reinterpret_cast<LPARAM>(h));
        if (swallowed && msg == WM_KEYDOWN) return 0;
    }
    if (msg == WM_SETTEXT) {
        // A multi-line edit box sends no EN_CHANGE for WM_SETTEXT (documented for EN_CHANGE); send it,
        // so a Changed handler sees every change of the text.
        const unsigned before = g_changeNotices;
        LRESULT r = DefSubclassProc(h, msg, wp, lp);
        wchar_t cls[8] = {};
        GetClassNameW(h, cls, 8);
        if (g_changeNotices == before && _wcsicmp(cls, L"Edit") == 0) {
            SendMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), EN_CHANGE), reinterpret_cast<LPARAM>(h));
        }
        return r;
    }
    return DefSubclassProc(h, msg, wp, lp);
}

}  // namespace

bool isDestroyPending(HWND hwnd) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (std::wstring(cls) != kWindowClass) return false;
    auto* w = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return w && w->destroyPending();
}

void setLastWindowGoneHandler(std::function<void()> handler) { g_lastWindowGone = std::move(handler); }
int liveWindowCount() { return g_liveWindows; }

int runMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

bool pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) return false;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void registerClasses(HINSTANCE instance) {
    static bool done = false;
    if (done) return;
    done = true;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &Window::windowProcEntry;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc);
    registerControlClasses(instance);
    g_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
}

// ---- Control ----

std::string Control::text() const {
    if (!hwnd_) return {};
    int n = GetWindowTextLengthW(hwnd_);
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    n = GetWindowTextW(hwnd_, w.data(), n + 1);
    w.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return fromWide(w);
}

void Control::setText(std::string_view gbkText) {
    if (hwnd_) SetWindowTextW(hwnd_, toWide(gbkText).c_str());
}

bool Control::visible() const { return hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE); }

void Control::setVisible(bool v) {
    if (hwnd_) ShowWindow(hwnd_, v ? SW_SHOWNA : SW_HIDE);
}

bool Control::enabled() const { return hwnd_ && IsWindowEnabled(hwnd_); }

void Control::setEnabled(bool e) {
    if (hwnd_) EnableWindow(hwnd_, e);
}

int Control::position() const {
    if (!hwnd_) return 0;
    switch (def_->kind) {
        case Kind::ProgressBar: return static_cast<int>(SendMessageW(hwnd_, PBM_GETPOS, 0, 0));
        case Kind::ListBox:
        case Kind::IconList: return static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
        case Kind::PageControl: return currentPage();
        default: return 0;
    }
}

void Control::setPosition(int value) {
    if (!hwnd_) return;
    switch (def_->kind) {
        case Kind::ProgressBar: SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(value), 0); break;
        case Kind::ListBox:
        case Kind::IconList: SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(value), 0); break;
        case Kind::PageControl: setCurrentPage(value); break;
        default: break;
    }
}

int Control::currentPage() const {
    return hwnd_ ? static_cast<int>(SendMessageW(hwnd_, TCM_GETCURSEL, 0, 0)) : -1;
}

void Control::setCurrentPage(int page) {
    if (!hwnd_ || page < 0 || page >= static_cast<int>(pages_.size())) return;
    SendMessageW(hwnd_, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        ShowWindow(pages_[i], static_cast<int>(i) == page ? SW_SHOWNA : SW_HIDE);
    }
    // Transparent controls lying over the pages show the new page behind them.
    if (owner_ && owner_->hwnd()) RedrawWindow(owner_->hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void Control::setTimerPeriod(int ms) {
    if (!owner_ || !owner_->hwnd()) return;
    timerPeriod_ = ms > 0 ? ms : 0;
    if (timerPeriod_ == 0) KillTimer(owner_->hwnd(), static_cast<UINT_PTR>(timerId_));
    else SetTimer(owner_->hwnd(), static_cast<UINT_PTR>(timerId_), static_cast<UINT>(timerPeriod_), nullptr);
}

void Control::focus() {
    if (hwnd_) SetFocus(hwnd_);
}

void Control::setBounds(Bounds b) {
    bounds_ = b;
    if (!hwnd_ || !owner_) return;
    SetWindowPos(hwnd_, nullptr, owner_->scale(b.x), owner_->scale(b.y), std::max(0, owner_->scale(b.w)),
                 std::max(0, owner_->scale(b.h)), SWP_NOZORDER | SWP_NOACTIVATE);
}

COLORREF Control::colour() const {
    return hwnd_ ? static_cast<COLORREF>(SendMessageW(hwnd_, kPickerGetColour, 0, 0)) : CLR_INVALID;
}

void Control::setColour(COLORREF c) {
    if (hwnd_) SendMessageW(hwnd_, kPickerSetColour, c, 0);
}

int Control::itemCount() const {
    if (!hwnd_) return 0;
    auto n = static_cast<int>(SendMessageW(hwnd_, LB_GETCOUNT, 0, 0));
    return n > 0 ? n : 0;
}

std::string Control::itemText(int index) const {
    if (!hwnd_) return {};
    auto n = static_cast<int>(SendMessageW(hwnd_, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0));
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    n = static_cast<int>(SendMessageW(hwnd_, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.data())));
    w.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return fromWide(w);
}

int Control::itemImage(int index) const {
    if (!hwnd_ || def_->kind != Kind::IconList || index < 0 || index >= itemCount()) return -1;
    return static_cast<int>(SendMessageW(hwnd_, LB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void Control::addItem(std::string_view gbkText, int image) {
    if (!hwnd_) return;
    std::wstring w = toWide(gbkText);
    auto at = SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(w.c_str()));
    if (at >= 0 && def_->kind == Kind::IconList) SendMessageW(hwnd_, LB_SETITEMDATA, static_cast<WPARAM>(at), image);
}

void Control::setItemText(int index, std::string_view gbkText) {
    if (!hwnd_ || index < 0 || index >= itemCount()) return;
    // A list box has no retitling: the item is replaced in place, keeping its image, the selection and the scroll.
    const LRESULT data = SendMessageW(hwnd_, LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    const LRESULT selected = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
    const LRESULT top = SendMessageW(hwnd_, LB_GETTOPINDEX, 0, 0);
    std::wstring w = toWide(gbkText);
    SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(hwnd_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageW(hwnd_, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(w.c_str()));
    SendMessageW(hwnd_, LB_SETITEMDATA, static_cast<WPARAM>(index), data);
    if (selected == index) SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(hwnd_, LB_SETTOPINDEX, static_cast<WPARAM>(top), 0);
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Control::removeItem(int index) {
    if (hwnd_ && index >= 0) SendMessageW(hwnd_, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
}

void Control::select(int start, int end) {
    if (hwnd_) SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void Control::append(std::string_view gbkText) {
    if (!hwnd_) return;
    const int end = GetWindowTextLengthW(hwnd_);
    std::wstring w = toWide(gbkText);
    SendMessageW(hwnd_, EM_SETSEL, static_cast<WPARAM>(end), static_cast<LPARAM>(end));
    SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
    SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

// ---- Window ----

Window::Window(const WindowDef& def) : def_(def) {}

Window::~Window() {
    if (hwnd_) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        HWND h = std::exchange(hwnd_, nullptr);
        DestroyWindow(h);
        --g_liveWindows;
    }
}

void Window::on(std::u8string_view control, Event event, std::function<void()> handler) {
    handlers_[{std::u8string(control), event}] = std::move(handler);
}

void Window::onKey(std::u8string_view control, Event event, std::function<void(KeyInfo)> handler) {
    keyHandlers_[{std::u8string(control), event}] = std::move(handler);
}

void Window::onDrag(std::u8string_view control, std::function<void(int, int)> handler) {
    dragHandlers_[std::u8string(control)] = std::move(handler);
}

void Window::buildMenus() {
    int nextId = kFirstMenuId;
    for (const MenuDef& m : def_.menus) {
        HMENU menu = CreatePopupMenu();
        for (const MenuItemDef& item : m.items) {
            const int id = nextId++;
            std::wstring text = wide(item.text);
            AppendMenuW(menu, MF_STRING | (item.checked ? MF_CHECKED : MF_UNCHECKED), static_cast<UINT_PTR>(id), text.c_str());
            menuItems_.push_back({menu, std::u8string(item.name), id});
        }
        menus_.emplace_back(menu);
    }
}

void Window::popupMenu(std::u8string_view menu) {
    if (!hwnd_) return;
    for (std::size_t i = 0; i < def_.menus.size() && i < menus_.size(); ++i) {
        if (def_.menus[i].name != menu) continue;
        POINT pt{};
        GetCursorPos(&pt);
        // The chosen item comes back as WM_COMMAND, like any menu of the window.
        TrackPopupMenuEx(menus_[i].get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, hwnd_, nullptr);
        return;
    }
}

int Window::menuItemId(std::u8string_view item) const {
    const MenuItem* m = menuItem(item);
    return m ? m->id : 0;
}

const Window::MenuItem* Window::menuItem(std::u8string_view name) const {
    auto it = std::find_if(menuItems_.begin(), menuItems_.end(), [&](const MenuItem& i) { return i.name == name; });
    return it == menuItems_.end() ? nullptr : &*it;
}

std::string Window::menuItemText(std::u8string_view item) const {
    const MenuItem* m = menuItem(item);
    if (!m) return {};
    wchar_t buf[256] = {};
    int n = GetMenuStringW(m->menu, static_cast<UINT>(m->id), buf, 256, MF_BYCOMMAND);
    return fromWide(std::wstring_view(buf, static_cast<std::size_t>(n > 0 ? n : 0)));
}

void Window::setMenuItemText(std::u8string_view item, std::string_view gbkText) {
    const MenuItem* m = menuItem(item);
    if (!m) return;
    std::wstring w = toWide(gbkText);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = w.data();
    SetMenuItemInfoW(m->menu, static_cast<UINT>(m->id), FALSE, &info);
}

bool Window::menuItemChecked(std::u8string_view item) const {
    const MenuItem* m = menuItem(item);
    return m && (GetMenuState(m->menu, static_cast<UINT>(m->id), MF_BYCOMMAND) & MF_CHECKED) != 0;
}

void Window::setMenuItemChecked(std::u8string_view item, bool checked) {
    if (const MenuItem* m = menuItem(item))
        CheckMenuItem(m->menu, static_cast<UINT>(m->id), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Window::fireMenu(int id) {
    for (const MenuItem& item : menuItems_) {
        if (item.id != id) continue;
        auto h = handlers_.find({item.name, Event::Clicked});
        if (h != handlers_.end() && h->second) h->second();
        return;
    }
}

Control& Window::control(std::u8string_view name) {
    auto it = controls_.find(name);
    if (it == controls_.end()) {
        // A name missing from the definition is a programming error; fail loudly in tests, safely in use.
        static Control none;
        return none;
    }
    return *it->second;
}

void Window::create(HWND owner) {
    if (hwnd_) return;
    dpi_ = systemDpi();
    DWORD style = WS_CLIPCHILDREN | WS_DISABLED;
    DWORD exStyle = WS_EX_CONTROLPARENT;
    if (def_.captionBar) {
        style |= WS_CAPTION;
        if (def_.systemMenu) {
            style |= WS_SYSMENU;
            if (def_.minimizeBox) style |= WS_MINIMIZEBOX;
            if (def_.resizable) style |= WS_MAXIMIZEBOX;
        }
        if (def_.resizable) style |= WS_THICKFRAME;
    } else {
        // No system caption: the window draws its own; the system menu keeps the taskbar's minimise and close.
        style |= WS_POPUP | WS_SYSMENU;
        if (def_.minimizeBox) style |= WS_MINIMIZEBOX;
        if (def_.resizable) style |= WS_THICKFRAME;
    }
    RECT rc{0, 0, scale(def_.w), scale(def_.h)};
    AdjustWindowRectExForDpi(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi_));
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    int x = work.left + ((work.right - work.left) - w) / 2;
    int y = work.top + ((work.bottom - work.top) - h) / 2;
    std::wstring title = wide(def_.title);
    hwnd_ = CreateWindowExW(exStyle, kWindowClass, title.c_str(), style, x, y, w, h, owner, nullptr,
                            GetModuleHandleW(nullptr), this);
    if (!hwnd_) return;
    ++g_liveWindows;
    int actual = static_cast<int>(GetDpiForWindow(hwnd_));
    if (actual > 0 && actual != dpi_) {
        dpi_ = actual;
        RECT r2{0, 0, scale(def_.w), scale(def_.h)};
        AdjustWindowRectExForDpi(&r2, style, FALSE, exStyle, static_cast<UINT>(dpi_));
        SetWindowPos(hwnd_, nullptr, 0, 0, r2.right - r2.left, r2.bottom - r2.top, SWP_NOMOVE | SWP_NOZORDER);
    }
    if (def_.icon) {
        bigIcon_.reset(loadIcon(def_.icon, GetSystemMetricsForDpi(SM_CXICON, static_cast<UINT>(dpi_))));
        smallIcon_.reset(loadIcon(def_.icon, GetSystemMetricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi_))));
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
    }
    buildControls();
    applyFonts();
    buildMenus();
    HWND self = hwnd_;
    if (created_) created_();
    // The created handler may have destroyed the window or ended the program.
    if (!IsWindow(self) || hwnd_ != self) return;
    ShowWindow(hwnd_, def_.startMaximised ? SW_SHOWMAXIMIZED : SW_SHOW);
    EnableWindow(hwnd_, TRUE);
    UpdateWindow(hwnd_);
}

void Window::runModal() {
    create(nullptr);
    inModalLoop_ = true;
    MSG msg;
    while (hwnd_) {
        int r = GetMessageW(&msg, nullptr, 0, 0);
        if (r <= 0) {
            if (r == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // let the outer loop see it
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    inModalLoop_ = false;
}

void Window::requestDestroy() {
    if (!hwnd_ || destroyRequested_) return;
    destroyRequested_ = true;
    PostMessageW(hwnd_, kDestroyMessage, 0, 0);
}

void Window::carryOutDestroy() {
    if (!hwnd_ || destroyingNow_) return;
    destroyingNow_ = true;
    destroyRequested_ = true;
    HWND self = hwnd_;
    if (destroying_) destroying_();
    if (IsWindow(self) && hwnd_ == self) DestroyWindow(self);
}

int Window::state() const {
    if (!hwnd_ || !IsWindowVisible(hwnd_)) return 0;
    if (IsIconic(hwnd_)) return 2;
    if (IsZoomed(hwnd_)) return 3;
    return 0;
}

void Window::setState(int s) {
    if (!hwnd_ || !IsWindowVisible(hwnd_)) return;
    ShowWindow(hwnd_, s == 2 ? SW_MINIMIZE : s == 3 ? SW_MAXIMIZE : SW_RESTORE);
    // A minimised window that was maximised restores to maximised; normal asks for one step more.
    if (s != 2 && s != 3 && IsZoomed(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
}

bool Window::visible() const { return hwnd_ && IsWindowVisible(hwnd_); }

void Window::setVisible(bool v) {
    if (!hwnd_) return;
    ShowWindow(hwnd_, v ? SW_SHOW : SW_HIDE);
    if (v) SetForegroundWindow(hwnd_);
}

bool Window::enabled() const { return hwnd_ && IsWindowEnabled(hwnd_); }

void Window::setEnabled(bool e) {
    if (hwnd_) EnableWindow(hwnd_, e);
}

void Window::bringToFront() {
    if (!hwnd_) return;
    if (!IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOW);
    if (IsIconic(hwnd_)) ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
    BringWindowToTop(hwnd_);
}

void Window::addTrayIcon(bool modify) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hwnd_;
    nid.uID = kTrayId;
    nid.uFlags = NIF_MESSAGE | NIF_ICON;
    nid.uCallbackMessage = kTrayMessage;
    nid.hIcon = trayHIcon_.get();
    if (modify && Shell_NotifyIconW(NIM_MODIFY, &nid)) return;
    trayAdded_ = Shell_NotifyIconW(NIM_ADD, &nid) != FALSE || trayAdded_;
}

void Window::showTrayIcon(const wchar_t* iconResource) {
    if (!hwnd_) return;
    trayIcon_ = iconResource;
    trayHIcon_.reset(loadIcon(iconResource, GetSystemMetricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi_))));
    addTrayIcon(trayAdded_);
    trayAdded_ = true;
}

HWND Window::containerFor(const ControlDef& d) {
    if (d.parent.empty()) return hwnd_;
    Control& parent = control(d.parent);
    if (parent.def_ && parent.def_->kind == Kind::PageControl) {
        if (d.page >= 0 && d.page < static_cast<int>(parent.pages_.size())) return parent.pages_[static_cast<std::size_t>(d.page)];
        return hwnd_;
    }
    return parent.hwnd_ ? parent.hwnd_ : hwnd_;
}

void Window::buildControls() {
    int nextId = kFirstControlId;
    for (const ControlDef& d : def_.controls) {
        auto c = std::make_unique<Control>();
        c->owner_ = this;
        c->def_ = &d;
        c->bounds_ = {d.x, d.y, d.w, d.h};
        int id = nextId++;
        if (d.kind == Kind::Timer) {
            c->timerId_ = id;
            Control* raw = c.get();
            order_.push_back(raw);
            controls_.emplace(std::u8string(d.name), std::move(c));
            if (d.timerPeriod > 0) raw->setTimerPeriod(d.timerPeriod);
            continue;
        }
        HWND parent = containerFor(d);
        c->hwnd_ = createControl(d, parent, id, hwnd_);
        if (c->hwnd_ && (d.kind == Kind::Edit || d.kind == Kind::MultiLineEdit || d.kind == Kind::ListBox ||
                        d.kind == Kind::IconList)) {
            SetWindowSubclass(c->hwnd_, keySubclass, 1, reinterpret_cast<DWORD_PTR>(hwnd_));
        }
        if (d.kind == Kind::PageControl && c->hwnd_) {
            auto captions = split(gbk(d.text), "|");
            for (std::size_t i = 0; i < captions.size(); ++i) {
                std::wstring cap = toWide(captions[i]);
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = cap.data();
                SendMessageW(c->hwnd_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
                HWND page = createPage(parent, hwnd_, static_cast<int>(i));
                c->pages_.push_back(page);
            }
            c->setCurrentPage(0);
        }
        order_.push_back(c.get());
        controls_.emplace(std::u8string(d.name), std::move(c));
    }
    // Later definitions lie above earlier ones, pages above their tab control.
    for (Control* c : order_) {
        if (!c->hwnd_) continue;
        SetWindowPos(c->hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        for (HWND page : c->pages_) SetWindowPos(page, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    layoutControls();
}

void Window::layoutControls() {
    for (Control* c : order_) {
        if (!c->hwnd_) continue;
        const ControlDef& d = *c->def_;
        const Control::Bounds& b = c->bounds_;
        SetWindowPos(c->hwnd_, nullptr, scale(b.x), scale(b.y), std::max(0, scale(b.w)), std::max(0, scale(b.h)),
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (d.kind == Kind::PageControl) {
            RECT rc{0, 0, scale(b.w), scale(b.h)};
            SendMessageW(c->hwnd_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&rc));
            // Pages are siblings above the tab control, covering its display area.
            for (HWND page : c->pages_) {
                SetWindowPos(page, nullptr, scale(b.x) + rc.left, scale(b.y) + rc.top, rc.right - rc.left,
                             rc.bottom - rc.top, SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
    }
}

void Window::applyFonts() {
    font_.reset(createUiFont(9, false, dpi_));
    for (Control* c : order_) {
        if (!c->hwnd_) continue;
        HFONT f = font_.get();
        if (c->def_->fontPoints > 0 || c->def_->bold) {
            c->font_.reset(createUiFont(c->def_->fontPoints > 0 ? c->def_->fontPoints : 9, c->def_->bold, dpi_));
            f = c->font_.get();
        }
        SendMessageW(c->hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(f), TRUE);
    }
}

Control* Window::controlByHwnd(HWND h) {
    for (Control* c : order_) {
        if (c->hwnd_ == h) return c;
    }
    return nullptr;
}

void Window::fire(HWND from, Event event) {
    Control* c = controlByHwnd(from);
    if (!c) return;
    auto it = handlers_.find({std::u8string(c->def_->name), event});
    if (it != handlers_.end() && it->second) it->second();
}

LRESULT CALLBACK Window::windowProcEntry(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = nullptr;
    if (msg == WM_NCCREATE) {
        self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = h;
    } else {
        self = reinterpret_cast<Window*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(h, msg, wp, lp);
    // No exception may cross the window procedure.
    try {
        return self->dispatch(msg, wp, lp);
    } catch (...) {
        return DefWindowProcW(h, msg, wp, lp);
    }
}

LRESULT Window::handleMessage(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}

LRESULT Window::dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    HWND h = hwnd_;
    bool handled = false;
    LRESULT r = handleMessage(msg, wp, lp, handled);
    if (handled) return r;
    switch (msg) {
        case WM_ERASEBKGND:
        case WM_PRINTCLIENT:
            if (def_.backgroundBand > 0) {
                paintBand(h, reinterpret_cast<HDC>(wp), def_.backgroundPicture, def_.background, scale(def_.backgroundBand));
            } else {
                paintBackground(h, reinterpret_cast<HDC>(wp), def_.backgroundPicture, def_.background);
            }
            return msg == WM_ERASEBKGND ? 1 : 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HWND from = reinterpret_cast<HWND>(lp);
            Control* c = controlByHwnd(from);
            return colourStatic(reinterpret_cast<HDC>(wp), from, c ? c->def_ : nullptr);
        }
        case WM_COMMAND: {
            HWND from = reinterpret_cast<HWND>(lp);
            if (!from) {
                if (HIWORD(wp) != 0) break;
                fireMenu(LOWORD(wp));
                return 0;
            }
            switch (HIWORD(wp)) {
                case BN_CLICKED: fire(from, Event::Clicked); break;
                case EN_CHANGE:
                    ++g_changeNotices;
                    fire(from, Event::Changed);
                    break;
                case kColourChanged: fire(from, Event::Changed); break;
                case EN_SETFOCUS: fire(from, Event::FocusGained); break;
                case LBN_SETFOCUS: fire(from, Event::FocusGained); break;
                case LBN_SELCHANGE: fire(from, Event::SelectionChanged); break;
                case LBN_DBLCLK: fire(from, Event::DoubleClicked); break;
                default: break;
            }
            return 0;
        }
        case WM_NOTIFY: {
            auto* nm = reinterpret_cast<NMHDR*>(lp);
            if (nm->code == TCN_SELCHANGE) {
                if (Control* c = controlByHwnd(nm->hwndFrom)) {
                    c->setCurrentPage(c->currentPage());
                    fire(nm->hwndFrom, Event::SelectionChanged);
                }
            }
            return 0;
        }
        case kControlDragged: {
            Control* c = controlByHwnd(reinterpret_cast<HWND>(wp));
            const auto* report = reinterpret_cast<const DragReport*>(lp);
            if (!c || !report) return 0;
            const int from = MulDiv(report->from, 96, dpi_), to = MulDiv(report->to, 96, dpi_);
            c->bounds_.x = to;
            auto it = dragHandlers_.find(c->def_->name);
            if (it != dragHandlers_.end() && it->second) it->second(from, to);
            return 0;
        }
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            Control* c = item ? controlByHwnd(item->hwndItem) : nullptr;
            if (!c || c->def_->kind != Kind::IconList) break;
            drawIconListItem(*item, c->def_->picture, dpi_);
            return TRUE;
        }
        case kControlKeyDown:
        case kControlKeyUp: {
            Control* c = controlByHwnd(reinterpret_cast<HWND>(lp));
            if (!c) return 0;
            auto it = keyHandlers_.find({std::u8string(c->def_->name), msg == kControlKeyDown ? Event::KeyDown : Event::KeyUp});
            bool swallow = false;
            if (it != keyHandlers_.end() && it->second) it->second(KeyInfo{static_cast<int>(wp), currentModifiers(), &swallow});
            return swallow ? 1 : 0;
        }
        case WM_TIMER: {
            for (Control* c : order_) {
                if (c->def_->kind == Kind::Timer && static_cast<WPARAM>(c->timerId_) == wp) {
                    auto it = handlers_.find({std::u8string(c->def_->name), Event::Tick});
                    if (it != handlers_.end() && it->second) it->second();
                    return 0;
                }
            }
            break;
        }
        case WM_NCHITTEST: {
            LRESULT hit = DefWindowProcW(h, msg, wp, lp);
            if (hit == HTCLIENT && def_.dragBandHeight > 0) {
                POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
                ScreenToClient(h, &pt);
                if (pt.y < scale(def_.dragBandHeight)) return HTCAPTION;
            }
            return hit;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wp);
            auto* suggested = reinterpret_cast<RECT*>(lp);
            SetWindowPos(h, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
            layoutControls();
            applyFonts();
            InvalidateRect(h, nullptr, TRUE);
            return 0;
        }
        case WM_CLOSE:
            if (canClose_ && !canClose_()) return 0;
            requestDestroy();
            return 0;
        case kDestroyMessage:
            carryOutDestroy();
            return 0;
        case kTrayMessage: {
            int arg = 0;
            switch (LOWORD(lp)) {
                case WM_LBUTTONUP: arg = 1; break;
                case WM_LBUTTONDBLCLK: arg = 2; break;
                case WM_RBUTTONUP:
                case WM_CONTEXTMENU: arg = 3; break;
                default: break;
            }
            if (arg && tray_) tray_(arg);
            return 0;
        }
        case WM_DESTROY: {
            for (Control* c : order_) {
                if (c->def_->kind == Kind::Timer) KillTimer(h, static_cast<UINT_PTR>(c->timerId_));
            }
            if (trayAdded_) {
                NOTIFYICONDATAW nid{};
                nid.cbSize = sizeof nid;
                nid.hWnd = h;
                nid.uID = kTrayId;
                Shell_NotifyIconW(NIM_DELETE, &nid);
                trayAdded_ = false;
            }
            return 0;
        }
        case WM_NCDESTROY: {
            SetWindowLongPtrW(h, GWLP_USERDATA, 0);
            hwnd_ = nullptr;
            for (Control* c : order_) {
                c->hwnd_ = nullptr;
                c->pages_.clear();
            }
            --g_liveWindows;
            if (g_liveWindows == 0) {
                if (g_lastWindowGone) g_lastWindowGone();
                else PostQuitMessage(0);
            }
            return DefWindowProcW(h, msg, wp, lp);
        }
        default:
            if (msg == g_taskbarCreated && g_taskbarCreated && trayAdded_) {
                // Explorer restarted: its notification area forgot our icon.
                addTrayIcon(false);
                return 0;
            }
            break;
    }
    return DefWindowProcW(h, msg, wp, lp);
}

}  // namespace rt
