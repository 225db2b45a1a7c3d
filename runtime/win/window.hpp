#pragma once
// Windows built from definitions: a table of controls, events bound to short handlers.
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/win/handle.hpp"

namespace rt {

enum class Kind {
    PictureButton,     // owner-painted picture, clickable, with an optional hover picture
    Picture,           // picture without action
    Canvas,            // container with a background picture or colour
    PageControl,       // tab control whose pages are containers
    TransparentLabel,  // text over the parent's background
    Label,
    ProgressBar,
    Timer,
    Button,
    Edit,
    MultiLineEdit,
    ListBox,
    GroupBox,
    HtmlView,  // web view: IWebBrowser2, or our stand-in where no HTML engine exists
    Splitter,      // vertical bar the author drags; reports the target left
    ColourPicker,  // shows its colour and opens the colour dialog when clicked
    IconList,      // single-selection list whose items may carry image 0 (the definition's picture)
};

struct ControlDef {
    Kind kind;
    std::u8string_view name;  // the system's own name, e.g. 按钮_码字
    int x = 0, y = 0, w = 0, h = 0;  // 96-dpi design values within the parent
    std::u8string_view text{};       // initial text; for a page control, the page captions separated by '|'
    std::u8string_view parent{};     // container control, empty for the window itself
    int page = -1;                   // page of the parent page control
    const wchar_t* picture = nullptr;
    const wchar_t* hoverPicture = nullptr;
    bool visible = true;
    int timerPeriod = 0;
    int rangeMax = 100;  // progress bar
    COLORREF background = CLR_INVALID;  // canvas colour when it has no picture; a colour picker's colour
    COLORREF textColour = CLR_INVALID;  // labels
    int fontPoints = 0;                 // 0: the window's font
    bool bold = false;
};

// Menus of a window; items are bound like controls, by name, with Event::Clicked.
struct MenuItemDef {
    std::u8string_view name;
    std::u8string_view text;
    bool checked = false;
};
struct MenuDef {
    std::u8string_view name;
    std::span<const MenuItemDef> items;
};

struct WindowDef {
    std::u8string_view name;
    std::u8string_view title;
    int w = 0, h = 0;  // design size of the client area
    const wchar_t* backgroundPicture = nullptr;
    COLORREF background = CLR_INVALID;
    const wchar_t* icon = nullptr;
    bool captionBar = false;  // false: no system caption; the window draws its own
    bool resizable = false;
    bool minimizeBox = true;
    int dragBandHeight = 0;  // top band that moves a captionless window
    std::span<const ControlDef> controls;
    std::span<const MenuDef> menus{};  // never a menu bar: shown only as popups
    bool systemMenu = true;            // with a caption bar: false leaves the title without menu and buttons
    bool startMaximised = false;
    int backgroundBand = 0;  // > 0: the picture is a top band this many design pixels high, stretched across only
};

enum class Event { Clicked, Tick, SelectionChanged, KeyDown, KeyUp, Changed, FocusGained, DoubleClicked };

// Modifier sum of key events: 1 Ctrl, 2 Shift, 4 Alt.
struct KeyInfo {
    int key = 0;
    int modifiers = 0;
    // A key-down handler sets *swallow to keep the key from the control's own handling.
    bool* swallow = nullptr;
};

class Window;

// One control of a window; reads and writes its properties. Texts are GBK.
class Control {
public:
    [[nodiscard]] HWND hwnd() const { return hwnd_; }
    [[nodiscard]] const ControlDef& def() const { return *def_; }
    [[nodiscard]] std::string text() const;
    void setText(std::string_view gbk);
    [[nodiscard]] bool visible() const;
    void setVisible(bool visible);
    [[nodiscard]] bool enabled() const;
    void setEnabled(bool enabled);
    // Progress bar position, page control page, list selection.
    [[nodiscard]] int position() const;
    void setPosition(int value);
    [[nodiscard]] int currentPage() const;
    void setCurrentPage(int page);
    // Timers: 0 stops.
    void setTimerPeriod(int ms);
    [[nodiscard]] int timerPeriod() const { return timerPeriod_; }
    // WM_TIMER identifier of a timer control on its window.
    [[nodiscard]] int timerId() const { return timerId_; }
    void focus();

    // Place and size in design pixels; they stay as set across DPI changes.
    struct Bounds {
        int x = 0, y = 0, w = 0, h = 0;
    };
    [[nodiscard]] Bounds bounds() const { return bounds_; }
    void setBounds(Bounds b);
    // Colour pickers.
    [[nodiscard]] COLORREF colour() const;
    void setColour(COLORREF c);
    // List boxes and icon lists. Image -1 shows none.
    [[nodiscard]] int itemCount() const;
    [[nodiscard]] std::string itemText(int index) const;
    [[nodiscard]] int itemImage(int index) const;
    void addItem(std::string_view gbk, int image = -1);
    void setItemText(int index, std::string_view gbk);
    void removeItem(int index);
    // Edit boxes: select [start, end), end -1 meaning the end; append at the end with the caret after
    // it, scrolled into view.
    void select(int start, int end);
    void append(std::string_view gbk);

private:
    friend class Window;
    Bounds bounds_;
    Window* owner_ = nullptr;
    const ControlDef* def_ = nullptr;
    HWND hwnd_ = nullptr;
    int timerId_ = 0;
    int timerPeriod_ = 0;
    std::vector<HWND> pages_;  // page control: one container per page
    UniqueFont font_;
};

class Window {
public:
    explicit Window(const WindowDef& def);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Handlers must be bound before the window is created: the created event runs during creation.
    void onCreated(std::function<void()> handler) { created_ = std::move(handler); }
    void onDestroying(std::function<void()> handler) { destroying_ = std::move(handler); }
    void onCanClose(std::function<bool()> handler) { canClose_ = std::move(handler); }
    void onTray(std::function<void(int)> handler) { tray_ = std::move(handler); }
    void on(std::u8string_view control, Event event, std::function<void()> handler);
    void onKey(std::u8string_view control, Event event, std::function<void(KeyInfo)> handler);
    // Splitter released: its left before the drag and the target left, in design pixels.
    void onDrag(std::u8string_view control, std::function<void(int from, int to)> handler);

    // Popup menus of the definition, at the mouse pointer; the chosen item fires Event::Clicked.
    void popupMenu(std::u8string_view menu);
    [[nodiscard]] std::string menuItemText(std::u8string_view item) const;
    void setMenuItemText(std::u8string_view item, std::string_view gbk);
    [[nodiscard]] bool menuItemChecked(std::u8string_view item) const;
    void setMenuItemChecked(std::u8string_view item, bool checked);
    // The WM_COMMAND identifier of an item; 0 when there is none.
    [[nodiscard]] int menuItemId(std::u8string_view item) const;

    // Creates the window (disabled), runs the created event, then shows and enables it.
    void create(HWND owner = nullptr);
    // Creates the window and returns once it has been destroyed; timers tick meanwhile.
    void runModal();
    // Carried out when control returns to the event loop, after the about-to-be-destroyed event.
    void requestDestroy();

    [[nodiscard]] HWND hwnd() const { return hwnd_; }
    [[nodiscard]] bool alive() const { return hwnd_ != nullptr; }
    [[nodiscard]] bool destroyPending() const { return destroyRequested_; }
    [[nodiscard]] Control& control(std::u8string_view name);
    [[nodiscard]] const WindowDef& def() const { return def_; }

    // 0 normal, 2 minimised, 3 maximised; a hidden window reads 0. A written state applies only while visible.
    [[nodiscard]] int state() const;
    void setState(int state);
    [[nodiscard]] bool visible() const;
    void setVisible(bool visible);
    [[nodiscard]] bool enabled() const;
    void setEnabled(bool enabled);
    void bringToFront();

    // One notification-area icon per window; a second call replaces it.
    void showTrayIcon(const wchar_t* iconResource);
    [[nodiscard]] bool hasTrayIcon() const { return trayAdded_; }

    // Design pixels to device pixels for this window's DPI.
    [[nodiscard]] int scale(int designPixels) const { return MulDiv(designPixels, dpi_, 96); }
    [[nodiscard]] int dpi() const { return dpi_; }

    static constexpr UINT kTrayMessage = WM_APP + 2;
    static constexpr UINT kDestroyMessage = WM_APP + 1;

protected:
    virtual LRESULT handleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

public:
    static LRESULT CALLBACK windowProcEntry(HWND, UINT, WPARAM, LPARAM);

private:
    LRESULT dispatch(UINT msg, WPARAM wp, LPARAM lp);
    void buildControls();
    void layoutControls();
    void applyFonts();
    HWND containerFor(const ControlDef& def);
    Control* controlByHwnd(HWND h);
    void fire(HWND from, Event event);
    void carryOutDestroy();
    void addTrayIcon(bool modify);
    void buildMenus();
    void fireMenu(int id);

    WindowDef def_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    bool destroyRequested_ = false;
    bool destroyingNow_ = false;
    bool inModalLoop_ = false;
    bool trayAdded_ = false;
    const wchar_t* trayIcon_ = nullptr;
    UniqueIcon trayHIcon_;
    UniqueIcon bigIcon_, smallIcon_;
    UniqueFont font_;
    std::map<std::u8string, std::unique_ptr<Control>, std::less<>> controls_;
    std::vector<Control*> order_;
    std::map<std::pair<std::u8string, Event>, std::function<void()>> handlers_;
    std::map<std::pair<std::u8string, Event>, std::function<void(KeyInfo)>> keyHandlers_;
    std::map<std::u8string, std::function<void(int, int)>, std::less<>> dragHandlers_;
    struct MenuItem {
        HMENU menu = nullptr;  // owned by menus_
        std::u8string name;
        int id = 0;
    };
    [[nodiscard]] const MenuItem* menuItem(std::u8string_view name) const;
    std::vector<UniqueMenu> menus_;
    std::vector<MenuItem> menuItems_;
    std::function<void()> created_, destroying_;
    std::function<bool()> canClose_;
    std::function<void(int)> tray_;
};

// The program ends when its last window is gone; tests replace what happens then.
void setLastWindowGoneHandler(std::function<void()> handler);
[[nodiscard]] int liveWindowCount();

// Runs the message loop until the program's last window is gone (or WM_QUIT); returns the exit code.
int runMessageLoop();
// Pumps pending messages without blocking; returns false once WM_QUIT was seen.
bool pumpMessages();

// True for a window of ours whose destruction has been requested.
[[nodiscard]] bool isDestroyPending(HWND hwnd);

// Registers the window classes; call once before creating windows.
void registerClasses(HINSTANCE instance);

}  // namespace rt
