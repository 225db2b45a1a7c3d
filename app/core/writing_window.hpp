#pragma once
#include <string>

#include "app/core/app.hpp"
#include "app/core/autosave_logic.hpp"
#include "app/core/writing_logic.hpp"
#include "runtime/win/dialogs.hpp"
#include "runtime/win/handle.hpp"
#include "runtime/win/window.hpp"

namespace app {

// 码字窗口: where the author writes, chapter by chapter. The name box and the editor always edit the
// chapter whose list item is selected; the store's cursor stays on that chapter's record.
class WritingWindow : public rt::Window {
public:
    explicit WritingWindow(Penloom& app);

    // GBK text of the editor as of its last change.
    [[nodiscard]] const std::string& editorText() const { return editorText_; }

protected:
    LRESULT handleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

private:
    void created();
    void destroying();

    // Chapters.
    void loadList();
    void loadSelectedChapter();
    void 目录框_selectionChanged();
    void 时钟_保存_tick();
    // Writes the boxes into the current record and retitles the item; false when the record refused them.
    [[nodiscard]] bool saveChapter(int item);
    void newChapter();
    void deleteChapter();

    // Safety copies.
    void 时钟_自动保存_tick();
    void restAutoSave();
    void wakeAutoSave();
    void 码字关闭_clicked();

    // Editor aids.
    void 内容_changed();
    void 内容_keyUp(rt::KeyInfo key);
    void 内容_keyDown(rt::KeyInfo key);
    void 字体设置_clicked();
    void setClockLabels();
    void layoutForSize();
    void layoutColumns(int target);
    void toggleFolderViewer();
    void applyEditorFont();
    // The window's outer size in design pixels.
    [[nodiscard]] SIZE outerDesignSize() const;

    Penloom& app_;
    bool ready_ = false;        // controls exist: the layout may run
    std::string editorText_;    // read once per change, for the count and the next save
    std::uint64_t editorVersion_ = 0;  // counts changes of the editor, for the auto-save
    core::AutoSaveGate autoSave_;
    int autoSaveRestingPeriod_ = 0;  // the auto-save timer's period while it rests, else 0
    bool unsaved_ = false;      // something changed since the last save, or the chapter on screen was loaded
    int shownItem_ = -1;        // list item of the chapter on screen

    core::EditorFont editorFont_;
    rt::FontDialog 通用对话框1_;
    rt::UniqueFont editorHFont_;
    COLORREF editorInk_ = RGB(0, 0, 0);
    COLORREF editorPaper_ = RGB(255, 255, 255);
    rt::UniqueBrush editorBrush_;
    rt::UniqueBrush windowBrush_;
};

}  // namespace app
