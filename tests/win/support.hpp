#pragma once
// Helpers for tests that drive real windows under Wine.
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testing_win {

namespace fs = std::filesystem;

// Runs an action on every dialog box this thread opens (message boxes too), from a timer inside the
// box's own loop: Wine's message box fills in its text only after it is activated. The newest driver
// of a thread acts alone until it goes.
class DialogDriver {
public:
    explicit DialogDriver(std::function<void(HWND)> act);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;
    int seen = 0;

private:
    static LRESULT CALLBACK hook(int code, WPARAM wp, LPARAM lp);
    static void CALLBACK act(HWND h, UINT, UINT_PTR id, DWORD);
    static constexpr UINT_PTR kTimer = 0x7E57;
    static inline thread_local DialogDriver* current_ = nullptr;
    DialogDriver* previous_ = nullptr;
    HHOOK hook_ = nullptr;
    std::function<void(HWND)> act_;
};

// Presses a dialog's button as a click would.
void pressButton(HWND dialog, int id);

// Answers every message box of this thread with the scripted button and records what it said.
class MessageBoxResponder {
public:
    struct Box {
        std::wstring text, caption;
    };
    explicit MessageBoxResponder(int button = IDOK);
    void setButton(int button) { button_ = button; }
    [[nodiscard]] const std::vector<Box>& boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }

private:
    void answer(HWND box);
    int button_;
    std::vector<Box> boxes_;
    DialogDriver driver_;  // last: it may act as soon as it exists
};

// A fresh program folder in the temporary directory; removed at the end of the test.
class TempProgramDir {
public:
    explicit TempProgramDir(const wchar_t* tag = L"penloom");
    ~TempProgramDir();
    [[nodiscard]] const fs::path& path() const { return dir_; }
    // The installer's layout: 小说数据 with DATA.EDB and DATA.edt.
    void installBlankStore() const;

private:
    fs::path dir_;
};

// Dispatches messages until the condition holds or the time is up; returns the condition.
bool pumpUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
void pumpFor(int ms);

[[nodiscard]] fs::path sourceDir();
[[nodiscard]] std::string readBytes(const fs::path& p);
[[nodiscard]] std::wstring windowText(HWND h);
// Top-level windows of this process with this title.
[[nodiscard]] std::vector<HWND> windowsTitled(const std::wstring& title);

}  // namespace testing_win
