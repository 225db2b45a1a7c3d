#pragma once
// The running application: program directory, the one chapter store, and its windows.
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

#include "app/core/chapter_store.hpp"
#include "runtime/ui.hpp"

namespace app {

class MainWindow;
class WritingWindow;

class Penloom {
public:
    Penloom(std::filesystem::path programDir, rt::Ui& ui);
    ~Penloom();
    Penloom(const Penloom&) = delete;
    Penloom& operator=(const Penloom&) = delete;

    // Program start, step 1: the main window, whose creation runs the start-up sequence.
    void start();

    // Opens the writing window beside the main window, or brings the open one to the front.
    void openWritingWindow();

    [[nodiscard]] const std::filesystem::path& programDir() const { return programDir_; }
    // Program directory followed by a literal that begins with a backslash.
    [[nodiscard]] std::filesystem::path path(std::string_view utf8Literal) const;
    [[nodiscard]] rt::Ui& ui() { return ui_; }
    [[nodiscard]] core::ChapterStore& store() { return store_; }
    [[nodiscard]] MainWindow* mainWindow() { return main_.get(); }
    [[nodiscard]] WritingWindow* writingWindow() { return writing_.get(); }

    // Start-up step 4: opens the store, creating a missing one from the blank store and
    // warning (without touching anything) when an existing one cannot be opened.
    void openChapterStore();

    // Names each fixed step as it runs (start-up, page hooks, backup); tests follow the order with it.
    std::function<void(std::string_view step)> traceStep;
    void trace(std::string_view step) {
        if (traceStep) traceStep(step);
    }

private:
    std::filesystem::path programDir_;
    rt::Ui& ui_;
    core::ChapterStore store_;
    std::unique_ptr<MainWindow> main_;
    std::unique_ptr<WritingWindow> writing_;
    std::unique_ptr<WritingWindow> retired_;  // a destroyed window is freed on the next opening, never inside its own events
};

// Steps other parts of the application supply at fixed places of the start-up and the main window.
void ReloadSongList(Penloom& app);
void HelpPageStep(Penloom& app);
void BackupChapterFiles(Penloom& app);

}  // namespace app
