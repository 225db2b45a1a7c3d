#include "support.hpp"

#include <commctrl.h>

#include <chrono>
#include <fstream>
#include <random>

namespace testing_win {

namespace {
MessageBoxResponder* g_responder = nullptr;
}

MessageBoxResponder::MessageBoxResponder(int button) : button_(button) {
    g_responder = this;
    hook_ = SetWindowsHookExW(WH_CBT, hook, nullptr, GetCurrentThreadId());
}

MessageBoxResponder::~MessageBoxResponder() {
    UnhookWindowsHookEx(hook_);
    g_responder = nullptr;
}

LRESULT CALLBACK MessageBoxResponder::hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && g_responder) {
        auto h = reinterpret_cast<HWND>(wp);
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        // The box fills in its text after activation: read it and answer from a timer inside its own loop.
        if (std::wstring(cls) == L"#32770") SetTimer(h, kAnswerTimer, 10, answer);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void CALLBACK MessageBoxResponder::answer(HWND h, UINT, UINT_PTR id, DWORD) {
    KillTimer(h, id);
    if (!g_responder) return;
    // The message is the longest static text of the box.
    std::wstring text;
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(c, cls, 16);
        std::wstring t = windowText(c);
        if (_wcsicmp(cls, L"Static") == 0 && t.size() > text.size()) text = t;
    }
    g_responder->boxes_.push_back({text, windowText(h)});
    PostMessageW(h, WM_COMMAND, MAKEWPARAM(g_responder->button_, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(h, g_responder->button_)));
}

TempProgramDir::TempProgramDir(const wchar_t* tag) {
    std::mt19937_64 rng(static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        GetCurrentProcessId());
    dir_ = fs::temp_directory_path() / (std::wstring(tag) + L"-" + std::to_wstring(rng() % 1000000000ull));
    fs::create_directories(dir_);
}

TempProgramDir::~TempProgramDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

void TempProgramDir::installBlankStore() const {
    fs::create_directory(dir_ / L"小说数据");
    fs::copy_file(sourceDir() / "installer" / "payload" / "DATA.EDB", dir_ / L"小说数据" / "DATA.EDB");
    fs::copy_file(sourceDir() / "installer" / "payload" / "DATA.edt", dir_ / L"小说数据" / "DATA.edt");
}

bool pumpUntil(const std::function<bool()>& condition, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

void pumpFor(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    (void)pumpUntil([&] { return std::chrono::steady_clock::now() > end; }, ms + 1000);
}

fs::path sourceDir() { return fs::path(L"Z:" PENLOOM_SOURCE_DIR_W); }

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring windowText(HWND h) {
    std::wstring buf(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
    int n = GetWindowTextW(h, buf.data(), static_cast<int>(buf.size()));
    buf.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return buf;
}

std::vector<HWND> windowsTitled(const std::wstring& title) {
    struct Search {
        std::wstring title;
        std::vector<HWND> found;
    } s{title, {}};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND h, LPARAM lp) -> BOOL {
            auto* search = reinterpret_cast<Search*>(lp);
            if (windowText(h) == search->title) search->found.push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&s));
    return s.found;
}

}  // namespace testing_win
