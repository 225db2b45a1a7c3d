#pragma once
// Helpers for tests that drive real windows under Wine.
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testing_win {

namespace fs = std::filesystem;

// Answers every message box of this thread with the scripted button and records what it said.
// One at a time per thread.
class MessageBoxResponder {
public:
    struct Box {
        std::wstring text, caption;
    };
    explicit MessageBoxResponder(int button = IDOK);
    ~MessageBoxResponder();
    void setButton(int button) { button_ = button; }
    [[nodiscard]] const std::vector<Box>& boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }

private:
    static LRESULT CALLBACK hook(int code, WPARAM wp, LPARAM lp);
    static void CALLBACK answer(HWND h, UINT, UINT_PTR id, DWORD);
    static constexpr UINT_PTR kAnswerTimer = 0x7E57;
    HHOOK hook_ = nullptr;
    int button_;
    std::vector<Box> boxes_;
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
