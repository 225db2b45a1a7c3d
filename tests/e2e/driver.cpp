// Drives Penloom's windows from outside, as a user would: finds windows by title and controls by text.
//   driver wait <title> [ms]          wait until a visible window with that title exists
//   driver gone <title> [ms]          wait until no such window exists
//   driver click <title> <text>       click the control with that text inside the window
//   driver page <title>               print the current page of the window's page control
//   driver state <title>              print visible/minimised state: "hidden", "normal", "minimised"
//   driver tray <title> <up|dbl|right> send a notification-area event to the window
//   driver close <title>              ask the window to close, as the system close command does
//   driver rect <title>               print the window's screen rectangle: x y w h
//   driver settext <title> <id> <text> set the text of the window's control with that id ("\n" is a line break)
//   driver gettext <title> <id>       print the text of that control (UTF-8)
//   driver select <title> <id> <n>    select item n of that list as a click would, with its notification
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND findTop(const wchar_t* title, bool visibleOnly) {
    struct S {
        const wchar_t* title;
        bool visibleOnly;
        HWND found;
    } search{title, visibleOnly, nullptr};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<S*>(lp);
            wchar_t buf[256] = {};
            GetWindowTextW(h, buf, 256);
            if (wcscmp(buf, s->title) == 0 && (!s->visibleOnly || IsWindowVisible(h))) {
                s->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findChild(HWND top, const wchar_t* text) {
    struct S {
        const wchar_t* text;
        HWND found;
    } search{text, nullptr};
    EnumChildWindows(
        top,
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<S*>(lp);
            wchar_t buf[256] = {};
            GetWindowTextW(h, buf, 256);
            if (wcscmp(buf, s->text) == 0) {
                s->found = h;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool waitFor(const wchar_t* title, int ms, bool present) {
    for (int waited = 0; waited <= ms; waited += 50) {
        if ((findTop(title, present) != nullptr) == present) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::wstring cmd = argv[1];
    const wchar_t* title = argv[2];
    int ms = argc > 3 ? _wtoi(argv[3]) : 20000;
    if (cmd == L"wait") return waitFor(title, ms, true) ? 0 : 1;
    if (cmd == L"gone") return waitFor(title, ms, false) ? 0 : 1;
    HWND top = findTop(title, false);
    if (!top) {
        std::fwprintf(stderr, L"no window titled %ls\n", title);
        return 1;
    }
    if (cmd == L"click" && argc > 3) {
        HWND c = findChild(top, argv[3]);
        if (!c) return 1;
        SendMessageW(c, BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == L"page") {
        HWND tab = FindWindowExW(top, nullptr, WC_TABCONTROLW, nullptr);
        if (!tab) return 1;
        std::printf("%d\n", static_cast<int>(SendMessageW(tab, TCM_GETCURSEL, 0, 0)));
        return 0;
    }
    if (cmd == L"state") {
        std::printf("%s\n", !IsWindowVisible(top) ? "hidden" : IsIconic(top) ? "minimised" : "normal");
        return 0;
    }
    if (cmd == L"tray" && argc > 3) {
        std::wstring what = argv[3];
        LPARAM m = what == L"up" ? WM_LBUTTONUP : what == L"dbl" ? WM_LBUTTONDBLCLK : WM_RBUTTONUP;
        SendMessageW(top, WM_APP + 2, 1, m);
        return 0;
    }
    if (cmd == L"close") {
        PostMessageW(top, WM_CLOSE, 0, 0);
        return 0;
    }
    if (cmd == L"settext" && argc > 4) {
        HWND c = GetDlgItem(top, _wtoi(argv[3]));
        if (!c) return 1;
        std::wstring text;
        for (const wchar_t* p = argv[4]; *p; ++p) {
            if (p[0] == L'\\' && p[1] == L'n') {
                text += L"\r\n";
                ++p;
            } else {
                text += *p;
            }
        }
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (cmd == L"gettext" && argc > 3) {
        HWND c = GetDlgItem(top, _wtoi(argv[3]));
        if (!c) return 1;
        // GetWindowText reads only captions across processes; WM_GETTEXT asks the control itself.
        std::wstring text(static_cast<std::size_t>(SendMessageW(c, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            SendMessageW(c, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
        std::printf("%s\n", utf8.c_str());
        return 0;
    }
    if (cmd == L"select" && argc > 4) {
        HWND c = GetDlgItem(top, _wtoi(argv[3]));
        if (!c) return 1;
        SendMessageW(c, LB_SETCURSEL, static_cast<WPARAM>(_wtoi(argv[4])), 0);
        SendMessageW(GetParent(c), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), LBN_SELCHANGE), reinterpret_cast<LPARAM>(c));
        return 0;
    }
    if (cmd == L"rect") {
        RECT r;
        GetWindowRect(top, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    return 2;
}
