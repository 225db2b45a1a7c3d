#include "support.hpp"

#include <commctrl.h>

#include <chrono>
#include <fstream>
#include <random>

namespace testing_win {

DialogDriver::DialogDriver(std::function<void(HWND)> act) : previous_(current_), act_(std::move(act)) {
    current_ = this;
    hook_ = SetWindowsHookExW(WH_CBT, hook, nullptr, GetCurrentThreadId());
}

DialogDriver::~DialogDriver() {
    UnhookWindowsHookEx(hook_);
    current_ = previous_;
}

LRESULT CALLBACK DialogDriver::hook(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE && current_) {
        auto h = reinterpret_cast<HWND>(wp);
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        if (std::wstring(cls) == L"#32770") SetTimer(h, kTimer, 10, act);
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

void CALLBACK DialogDriver::act(HWND h, UINT, UINT_PTR id, DWORD) {
    KillTimer(h, id);
    if (!current_) return;
    ++current_->seen;
    current_->act_(h);
}

void pressButton(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

MessageBoxResponder::MessageBoxResponder(int button) : button_(button), driver_([this](HWND box) { answer(box); }) {}

void MessageBoxResponder::answer(HWND box) {
    // The message is the longest static text of the box.
    std::wstring text;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(c, cls, 16);
        std::wstring t = windowText(c);
        if (_wcsicmp(cls, L"Static") == 0 && t.size() > text.size()) text = t;
    }
    boxes_.push_back({text, windowText(box)});
    pressButton(box, button_);
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
