#pragma once
// The web view behind HtmlView controls. Where an HTML engine exists it hosts IWebBrowser2 in a small OLE
// container of our own; elsewhere (Wine without one) a stand-in of our own shows what it can:
// a local folder as a file listing, a local .htm/.html as its title and text, a web address with a
// button that opens it in the system browser, a missing path as an error line.
//
// The control's window text is the address it shows: WM_SETTEXT (Control::setText) navigates, and a
// definition's initial text is the first address.
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace rt {

class Control;

class WebView {
public:
    explicit WebView(HWND view) : hwnd_(view) {}
    explicit WebView(const Control& control);

    // A full address, a bare host name (shown as http://host), a local folder or page path, or a file: address.
    void navigate(std::string_view gbkAddress) const;
    void navigate(std::wstring_view address) const;
    // GBK. The <title> of the loaded page; empty while loading, for folders, and for web addresses in the stand-in.
    [[nodiscard]] std::string title() const;
    // GBK. The address last navigated to, normalised as navigate describes.
    [[nodiscard]] std::string address() const;
    [[nodiscard]] bool usesStandIn() const;
    [[nodiscard]] HWND hwnd() const { return hwnd_; }

    // Stand-in parts, by control id: the folder listing, the page title and text, the address and its button.
    static constexpr int kListId = 1, kTitleId = 2, kTextId = 3, kAddressId = 4, kOpenId = 5;

    // Window class of the view; registered on first use.
    [[nodiscard]] static const wchar_t* windowClass();
    // Tests: replaces the shell for what the stand-in opens (a listed file, a web address).
    static void setShellHook(std::function<void(const std::wstring&)> hook);
    // Tests: the stand-in even where an HTML engine exists, for views created afterwards.
    static void setStandInOnly(bool standInOnly);

private:
    HWND hwnd_;
};

}  // namespace rt
