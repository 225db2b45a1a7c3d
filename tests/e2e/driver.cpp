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
//   driver settextfile <title> <id> <file> set the control's text from a UTF-8 file (longer than a command line)
//   driver type <title> <id> <per-s> <s> append one character at the end that many times a second, for s seconds;
//                                     prints how many were appended
//   driver has <title> <text>         succeed when a control of the window shows that text (a message box's message)
//   driver items <title> <id>         print the items of that list, one a line, the selected one after "> "
//   driver savetext <title> <id> <file> write the text of that control to the file as GBK bytes
//   driver keys <title> <id> <text> [log] [fast]
//                                     type the text at the end of that control, a key at a time ("\n" is the
//                                     Enter key: down, character, up). With a log: see keyIn.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <random>
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

// The control with that id, or a word on stderr saying which one is missing.
HWND controlOf(HWND top, const wchar_t* id) {
    HWND c = GetDlgItem(top, _wtoi(id));
    if (!c) std::fwprintf(stderr, L"no control %ls in the window\n", id);
    return c;
}

std::wstring controlText(HWND c) {
    // GetWindowText reads only captions across processes; WM_GETTEXT asks the control itself.
    std::wstring text(static_cast<std::size_t>(SendMessageW(c, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(SendMessageW(c, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::string bytesIn(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

bool writeBytes(const wchar_t* path, const std::string& bytes) {
    FILE* f = _wfopen(path, L"wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = f && std::fclose(f) == 0 && ok;
    if (!ok) std::fwprintf(stderr, L"cannot write %ls\n", path);
    return ok;
}

double nowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Types at the end of the control as a keyboard would, in short bursts with pauses between them
// (pace "fast" leaves the pauses out). Each key is sent, so it has been handled when the send returns.
// With a log path, writes <log>.text (GBK: the control's text at the start followed by everything the
// text would type) and <log> with one line per change of the control's text: "<ms> <GBK length>",
// the first at 0 ms for the text at the start, then "done" when every key was handled or
// "gone <GBK length>" when the window went away, with the length the unanswered key would have made.
// Returns 0 when all was typed and the control shows the text expected, 1 when the window went away.
int keyIn(HWND c, const wchar_t* text, const wchar_t* logPath, bool paced) {
    std::wstring model = controlText(c);
    std::wstring whole = model;
    for (const wchar_t* p = text; *p; ++p) {
        if (p[0] == L'\\' && p[1] == L'n') {
            whole += L"\r\n\r\n    ";
            ++p;
        } else {
            whole += *p;
        }
    }
    std::string log;
    std::size_t shownBytes = bytesIn(936, model).size();
    // Appends to what the control shows and logs the change.
    auto shows = [&](std::wstring_view added, double ms) {
        model += added;
        shownBytes += bytesIn(936, added).size();
        char line[64];
        std::snprintf(line, sizeof line, "%.1f %zu\n", ms, shownBytes);
        log += line;
    };
    auto finish = [&](const std::string& last, int code) {
        log += last;
        if (logPath) {
            std::wstring textPath = std::wstring(logPath) + L".text";
            if (!writeBytes(textPath.c_str(), bytesIn(936, whole)) || !writeBytes(logPath, log)) return 2;
        }
        return code;
    };
    // The log file appears as typing starts, so a watcher can time its kill from then.
    if (logPath && !writeBytes(logPath, "")) return 2;
    const int end = static_cast<int>(model.size());
    SendMessageW(c, EM_SETSEL, end, end);
    const double start = nowMs();
    shows(L"", 0);
    std::mt19937 random{std::random_device{}()};
    int burst = 0;
    auto send = [&](UINT msg, WPARAM wp, LPARAM lp) {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(c, msg, wp, lp, SMTO_ABORTIFHUNG, 10000, &result) != 0;
    };
    auto gone = [&](std::wstring_view pending) {
        return finish("gone " + std::to_string(shownBytes + bytesIn(936, pending).size()) + "\n", 1);
    };
    const LPARAM enterDown = 0x001C0001, enterUp = static_cast<LPARAM>(0xC01C0001u);
    for (const wchar_t* p = text; *p; ++p) {
        // An input method commits a word of a few characters at once; a person pauses between words.
        if (paced && --burst < 0) {
            burst = std::uniform_int_distribution<int>(0, 3)(random);
            Sleep(std::uniform_int_distribution<DWORD>(20, 60)(random));
        }
        if (p[0] == L'\\' && p[1] == L'n') {
            ++p;
            if (!send(WM_KEYDOWN, VK_RETURN, enterDown)) return gone(L"");
            if (!send(WM_CHAR, L'\r', enterDown)) return gone(L"\r\n");
            shows(L"\r\n", nowMs() - start);
            if (!send(WM_KEYUP, VK_RETURN, enterUp)) return gone(L"\r\n    ");
            shows(L"\r\n    ", nowMs() - start);
        } else {
            const std::wstring_view key(p, 1);
            if (!send(WM_CHAR, *p, 1)) return gone(key);
            shows(key, nowMs() - start);
        }
    }
    if (!IsWindow(c)) return gone(L"");
    const std::wstring shown = controlText(c);
    if (shown != model) {
        std::fprintf(stderr, "typed text differs from the control's text (%zu against %zu characters)\n", model.size(),
                     shown.size());
        return finish("differs\n", 3);
    }
    return finish("done\n", 0);
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
    if (cmd == L"has" && argc > 3) return findChild(top, argv[3]) ? 0 : 1;
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
        std::printf("%s\n", bytesIn(CP_UTF8, controlText(c)).c_str());
        return 0;
    }
    if (cmd == L"savetext" && argc > 4) {
        HWND c = controlOf(top, argv[3]);
        if (!c) return 1;
        return writeBytes(argv[4], bytesIn(936, controlText(c))) ? 0 : 1;
    }
    if (cmd == L"keys" && argc > 4) {
        HWND c = controlOf(top, argv[3]);
        if (!c) return 1;
        return keyIn(c, argv[4], argc > 5 && *argv[5] ? argv[5] : nullptr, !(argc > 6 && std::wstring(argv[6]) == L"fast"));
    }
    if (cmd == L"items" && argc > 3) {
        HWND c = controlOf(top, argv[3]);
        if (!c) return 1;
        const int count = static_cast<int>(SendMessageW(c, LB_GETCOUNT, 0, 0));
        const int selected = static_cast<int>(SendMessageW(c, LB_GETCURSEL, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::wstring item(static_cast<std::size_t>(SendMessageW(c, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
            item.resize(static_cast<std::size_t>(SendMessageW(c, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
            std::printf("%s%s\n", i == selected ? "> " : "", bytesIn(CP_UTF8, item).c_str());
        }
        return 0;
    }
    if (cmd == L"select" && argc > 4) {
        HWND c = controlOf(top, argv[3]);
        if (!c) return 1;
        SendMessageW(c, LB_SETCURSEL, static_cast<WPARAM>(_wtoi(argv[4])), 0);
        SendMessageW(GetParent(c), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), LBN_SELCHANGE), reinterpret_cast<LPARAM>(c));
        return 0;
    }
    if (cmd == L"settextfile" && argc > 4) {
        HWND c = controlOf(top, argv[3]);
        if (!c) return 1;
        std::ifstream in(argv[4], std::ios::binary);
        if (!in) return 1;
        std::string utf8((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::wstring text(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0)), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), static_cast<int>(text.size()));
        SendMessageW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (cmd == L"type" && argc > 5) {
        HWND c = controlOf(top, argv[3]);
        const int perSecond = _wtoi(argv[4]);
        const int seconds = _wtoi(argv[5]);
        if (!c || perSecond <= 0 || seconds <= 0) return 1;
        const int total = perSecond * seconds;
        const DWORD start = GetTickCount();
        int typed = 0;
        for (; typed < total; ++typed) {
            // Paced from the start, so a slow append does not stretch the run.
            const DWORD due = start + static_cast<DWORD>(static_cast<long long>(typed) * 1000 / perSecond);
            const DWORD now = GetTickCount();
            if (static_cast<LONG>(due - now) > 0) Sleep(due - now);
            const auto end = static_cast<WPARAM>(SendMessageW(c, WM_GETTEXTLENGTH, 0, 0));
            SendMessageW(c, EM_SETSEL, end, static_cast<LPARAM>(end));
            SendMessageW(c, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\u5b57"));
        }
        std::printf("%d\n", typed);
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
