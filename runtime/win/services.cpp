#include "runtime/win/services.hpp"

#include <shellapi.h>
#include <uxtheme.h>

#include <cwctype>

#include "runtime/text.hpp"
#include "runtime/win/window.hpp"

namespace rt {

namespace {

std::filesystem::path& programDirSlot() {
    static std::filesystem::path dir;
    return dir;
}

std::function<void(int)>& endHookSlot() {
    static std::function<void(int)> hook;
    return hook;
}

constexpr wchar_t kFolderProp[] = L"PenloomFolder";
constexpr wchar_t kMainProp[] = L"PenloomMain";

std::uint64_t folderKey(const std::filesystem::path& dir) {
    // Folder names compare without regard to case on Windows.
    std::uint64_t h = 1469598103934665603ull;
    for (wchar_t c : dir.lexically_normal().wstring()) {
        h ^= static_cast<std::uint64_t>(std::towlower(static_cast<wint_t>(c == L'/' ? L'\\' : c)));
        h *= 1099511628211ull;
    }
    return h | 1;  // never zero: a zero property reads as absent
}

int CALLBACK fontExists(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

const wchar_t* uiFace() {
    static const wchar_t* face = [] {
        // Windows ships YaHei UI; under Wine the WenQuanYi font carries the Chinese glyphs.
        const wchar_t* faces[] = {L"Microsoft YaHei UI", L"Microsoft YaHei", L"WenQuanYi Micro Hei", L"SimSun"};
        HDC dc = GetDC(nullptr);
        const wchar_t* pick = faces[0];
        for (const wchar_t* f : faces) {
            LOGFONTW lf{};
            lf.lfCharSet = DEFAULT_CHARSET;
            wcsncpy(lf.lfFaceName, f, LF_FACESIZE - 1);
            bool found = false;
            EnumFontFamiliesExW(dc, &lf, fontExists, reinterpret_cast<LPARAM>(&found), 0);
            if (found) {
                pick = f;
                break;
            }
        }
        ReleaseDC(nullptr, dc);
        return pick;
    }();
    return face;
}

HWND windowToActivate(std::uint64_t key) {
    struct Search {
        std::uint64_t key;
        HWND main = nullptr, other = nullptr;
    } search{key};
    EnumWindows(
        [](HWND h, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            if (reinterpret_cast<std::uint64_t>(GetPropW(h, kFolderProp)) == s->key) {
                if (GetPropW(h, kMainProp)) s->main = h;
                else if (!s->other) s->other = h;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.main ? search.main : search.other;
}

}  // namespace

int Win32Ui::messageBox(const std::string& text, const std::string& caption, int flags) {
    UINT type = MB_OK;
    switch (flags) {
        case kMbOkExclamation: type = MB_OK | MB_ICONEXCLAMATION; break;
        case kMbOkCancelExclamation: type = MB_OKCANCEL | MB_ICONEXCLAMATION; break;
        case kMbYesNoExclamation: type = MB_YESNO | MB_ICONEXCLAMATION; break;
        default: break;
    }
    // Owned by the active window unless that window is about to go: destroying an owner closes its box.
    HWND owner = GetActiveWindow();
    if (owner && isDestroyPending(owner)) owner = nullptr;
    if (!owner) type |= MB_TASKMODAL;
    std::wstring wtext = toWide(text);
    std::wstring wcaption = toWide(caption.empty() ? gbk(u8"信息：") : caption);
    switch (MessageBoxW(owner, wtext.c_str(), wcaption.c_str(), type)) {
        case IDCANCEL: return kAnswerCancel;
        case IDYES: return kAnswerYes;
        case IDNO: return kAnswerNo;
        default: return kAnswerOk;
    }
}

void Win32Ui::endProgram(int exitCode) {
    if (endHookSlot()) {
        endHookSlot()(exitCode);
        return;
    }
    ExitProcess(static_cast<UINT>(exitCode));
}

void Win32Ui::setEndHook(std::function<void(int)> hook) { endHookSlot() = std::move(hook); }

std::filesystem::path programDirectory() {
    auto& dir = programDirSlot();
    if (dir.empty()) {
        std::wstring buf(MAX_PATH, L'\0');
        for (;;) {
            DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            if (n < buf.size()) {
                buf.resize(n);
                break;
            }
            buf.resize(buf.size() * 2);
        }
        dir = std::filesystem::path(buf).parent_path();
    }
    return dir;
}

void setProgramDirectory(std::filesystem::path dir) { programDirSlot() = std::move(dir); }

bool shellOpenAddress(const std::wstring& address) {
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_FLAG_NO_UI;  // a missing file must not open a blocking error box
    sei.lpFile = address.c_str();
    sei.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&sei) != FALSE;
}

bool shellOpen(const std::filesystem::path& target) { return shellOpenAddress(target.wstring()); }

std::string_view resourceBytes(const wchar_t* name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC res = FindResourceW(module, name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!res) return {};
    const void* data = LockResource(LoadResource(module, res));
    if (!data) return {};
    return {static_cast<const char*>(data), SizeofResource(module, res)};
}

UniqueKernelHandle runBatchHidden(const std::filesystem::path& folder, const std::wstring& batchName) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    std::wstring interpreter = std::wstring(system) + L"\\cmd.exe";
    std::wstring commandLine = L"\"" + interpreter + L"\" /d /c \"" + batchName + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring dir = folder.wstring();
    if (!CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        dir.c_str(), &si, &pi))
        return UniqueKernelHandle();
    CloseHandle(pi.hThread);
    return UniqueKernelHandle(pi.hProcess);
}

bool waitPumping(HANDLE process, int timeoutMs) {
    if (!process) return true;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    for (;;) {
        ULONGLONG now = GetTickCount64();
        if (now >= end) return false;
        DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        if (r != WAIT_OBJECT_0 + 1) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

std::string commandPathText(const std::filesystem::path& path) {
    std::wstring wide = path.wstring();
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                &lossy);
    if (n > 0 && !lossy && GetACP() == 936) return fromWide(wide);
    DWORD len = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (len == 0) return fromWide(wide);
    std::wstring shortPath(len, L'\0');
    len = GetShortPathNameW(wide.c_str(), shortPath.data(), len);
    shortPath.resize(len);
    return fromWide(shortPath);
}

void setVisualStyle(int code) {
    if (code <= 0) return;
    SetThemeAppProperties(STAP_ALLOW_NONCLIENT | STAP_ALLOW_CONTROLS | STAP_ALLOW_WEBCONTENT);
}

void enablePerMonitorDpi() {
    if (!SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) SetProcessDPIAware();
}

int systemDpi() {
    UINT dpi = GetDpiForSystem();
    return dpi ? static_cast<int>(dpi) : 96;
}

HFONT createUiFont(int points, bool bold, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points, dpi, 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = CLEARTYPE_QUALITY;
    wcsncpy(lf.lfFaceName, uiFace(), LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

bool claimProgramFolder(const std::filesystem::path& dir) {
    static UniqueKernelHandle mutex;
    std::uint64_t key = folderKey(dir);
    wchar_t name[64];
    swprintf(name, 64, L"Local\\Penloom-%016llx", static_cast<unsigned long long>(key));
    mutex.reset(CreateMutexW(nullptr, FALSE, name));
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    mutex.reset();
    // The running instance may still be starting; give its window a moment to appear.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (HWND h = windowToActivate(key)) {
            if (!IsWindowVisible(h)) ShowWindow(h, SW_SHOW);
            if (IsIconic(h)) ShowWindow(h, SW_RESTORE);
            SetForegroundWindow(h);
            break;
        }
        Sleep(100);
    }
    return false;
}

void tagWindowForFolder(HWND hwnd, const std::filesystem::path& dir, bool mainWindow) {
    SetPropW(hwnd, kFolderProp, reinterpret_cast<HANDLE>(folderKey(dir)));
    if (mainWindow) SetPropW(hwnd, kMainProp, reinterpret_cast<HANDLE>(1));
}

}  // namespace rt
