#include "app/core/writing_window.hpp"

#include <cwchar>

#include "app/core/backup_logic.hpp"
#include "app/core/chapter_store.hpp"
#include "app/forms/forms.hpp"
#include "runtime/datetime.hpp"
#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/win/services.hpp"
#include "runtime/win/webview.hpp"

namespace app {

namespace {

constexpr UINT kApplyEditorFont = WM_APP + 40;

core::EditorFont designEditorFont() { return {.face = rt::gbk(u8"宋体"), .pointTenths = 120}; }

rt::FontChoice asChoice(const core::EditorFont& f) {
    return {.face = f.face, .pointTenths = f.pointTenths, .bold = f.bold, .italic = f.italic, .underline = f.underline,
            .strikeout = f.strikeout};
}

core::EditorFont asEditorFont(const rt::FontChoice& c) {
    return {.face = c.face, .pointTenths = c.pointTenths, .bold = c.bold, .italic = c.italic, .underline = c.underline,
            .strikeout = c.strikeout};
}

void setIfChanged(rt::Control& c, const std::string& text) {
    if (c.text() != text) c.setText(text);
}

}  // namespace

WritingWindow::WritingWindow(Penloom& app)
    : rt::Window(forms::k码字窗口), app_(app), editorFont_(designEditorFont()), 通用对话框1_(asChoice(editorFont_)) {
    onCreated([this] { created(); });
    onDestroying([this] { destroying(); });
    on(u8"目录框", rt::Event::SelectionChanged, [this] { 目录框_selectionChanged(); });
    on(u8"时钟_保存", rt::Event::Tick, [this] { 时钟_保存_tick(); });
    on(u8"新增章节", rt::Event::Clicked, [this] { newChapter(); });
    on(u8"新建章节", rt::Event::Clicked, [this] { newChapter(); });
    on(u8"删除选中", rt::Event::Clicked, [this] { deleteChapter(); });
    on(u8"删除章节", rt::Event::Clicked, [this] { deleteChapter(); });
    on(u8"名称", rt::Event::FocusGained, [this] { control(u8"名称").select(0, -1); });
    on(u8"名称", rt::Event::Changed, [this] { unsaved_ = true; });
    on(u8"内容", rt::Event::Changed, [this] { 内容_changed(); });
    onKey(u8"内容", rt::Event::KeyUp, [this](rt::KeyInfo k) { 内容_keyUp(k); });
    onKey(u8"内容", rt::Event::KeyDown, [this](rt::KeyInfo k) { 内容_keyDown(k); });
    on(u8"内容", rt::Event::FocusGained, [this] { control(u8"内容").select(0, -1); });
    on(u8"字体设置", rt::Event::Clicked, [this] { 字体设置_clicked(); });
    on(u8"文本颜色", rt::Event::Changed, [this] {
        editorInk_ = control(u8"文本颜色").colour();
        InvalidateRect(control(u8"内容").hwnd(), nullptr, TRUE);
    });
    on(u8"背景颜色", rt::Event::Changed, [this] {
        editorPaper_ = control(u8"背景颜色").colour();
        editorBrush_.reset(CreateSolidBrush(editorPaper_));
        InvalidateRect(control(u8"内容").hwnd(), nullptr, TRUE);
    });
    on(u8"现行时间", rt::Event::Tick, [this] {
        setClockLabels();
        wakeAutoSave();
    });
    onDrag(u8"分隔条1", [this](int, int target) { layoutColumns(target); });
    on(u8"章节目录查看", rt::Event::Clicked, [this] { toggleFolderViewer(); });
    on(u8"码字最小化", rt::Event::Clicked, [this] { setState(2); });
    on(u8"时钟_自动保存", rt::Event::Tick, [this] { 时钟_自动保存_tick(); });
    on(u8"码字关闭", rt::Event::Clicked, [this] { 码字关闭_clicked(); });
}

void WritingWindow::created() {
    rt::tagWindowForFolder(hwnd(), app_.programDir(), false);
    editorBrush_.reset(CreateSolidBrush(editorPaper_));
    windowBrush_.reset(CreateSolidBrush(def().background));
    applyEditorFont();
    loadList();
    setClockLabels();
    ready_ = true;
    layoutForSize();
}

void WritingWindow::destroying() { (void)app_.store().Compact(); }

// ---- Safety copies ----

namespace {

// One query gives both size and time, where asking for each would look the path up twice.
std::optional<core::FileStamp> stampOf(const std::filesystem::path& file) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    const auto size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const auto time = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return core::FileStamp{size, static_cast<std::int64_t>(time)};
}

}  // namespace

void WritingWindow::时钟_自动保存_tick() {
    if (!menuItemChecked(u8"自动保存内容")) return;
    const auto file = app_.path("\\自动保存\\自动保存文件【勿删】.txt");
    // The file must equal the editor after every tick; rewriting identical bytes would only cost.
    if (!autoSave_.mustWrite(editorVersion_, stampOf(file))) {
        restAutoSave();
        return;
    }
    if (!rt::writeFile(file, editorText_)) {
        autoSave_.forget();  // the timer keeps running: the next tick tries again
        return;
    }
    if (auto stamp = stampOf(file)) autoSave_.written(editorVersion_, *stamp);
}

// Even an empty 1 ms timer costs about 1 % of a core under Wine (100 wake-ups a second), so once the
// file is known to equal the editor the timer rests; any change of the editor wakes it, and the clock's
// second wakes it once, so a file deleted or edited behind our back is back within a second.
// A timer someone else stopped (period 0) is left stopped.
void WritingWindow::restAutoSave() {
    auto& timer = control(u8"时钟_自动保存");
    if (autoSaveRestingPeriod_ != 0 || timer.timerPeriod() == 0) return;
    autoSaveRestingPeriod_ = timer.timerPeriod();
    timer.setTimerPeriod(0);
}

void WritingWindow::wakeAutoSave() {
    if (autoSaveRestingPeriod_ == 0) return;
    control(u8"时钟_自动保存").setTimerPeriod(autoSaveRestingPeriod_);
    autoSaveRestingPeriod_ = 0;
}

void WritingWindow::码字关闭_clicked() {
    if (!editorText_.empty()) {
        const auto folder = app_.path("\\自动保存备份");
        const std::string name = core::closingCopyName(rt::now(), [&](const std::string& candidate) {
            std::error_code ec;
            return std::filesystem::exists(folder / rt::toWide(candidate), ec);
        });
        (void)rt::copyFile(app_.path("\\自动保存\\自动保存文件【勿删】.txt"), folder / rt::toWide(name));
    }
    requestDestroy();
    BackupChapterFiles(app_);
}

// ---- Chapters ----

void WritingWindow::loadList() {
    auto& store = app_.store();
    auto& list = control(u8"目录框");
    store.GoFirst();
    while (!store.IsPastEnd()) {
        // A record marked deleted here was left by a run that never closed this window; listing it
        // would shift every later item off its record.
        if (!store.IsDeleted()) list.addItem(rt::trimLeadingSpaces(store.ReadField(core::nameFieldName())));
        store.Skip(1);
    }
    if (list.itemCount() == 0) return;
    list.setPosition(0);
    loadSelectedChapter();
}

void WritingWindow::loadSelectedChapter() {
    const int selected = control(u8"目录框").position();
    // Nothing selected: there is no chapter to show, and asking the store for record 0 would end the program.
    if (selected < 0) return;
    auto& store = app_.store();
    if (!core::SeekLiveRecord(store, selected + 1, app_.ui())) return;
    const std::string text = store.ReadField(core::contentFieldName());
    const bool damaged = store.lastReadDamaged();
    const std::string name = store.ReadField(core::nameFieldName());
    shownItem_ = selected;
    control(u8"内容").setText(text);
    control(u8"名称").setText(name);
    // The next save writes what is shown, so a record stored with leading spaces is trimmed as any other;
    // a damaged text, shown empty, is left for recovery until the author writes something in its place.
    unsaved_ = !damaged;
    if (damaged) {
        SendMessageW(control(u8"内容").hwnd(), EM_SETMODIFY, FALSE, 0);
        SendMessageW(control(u8"名称").hwnd(), EM_SETMODIFY, FALSE, 0);
    }
}

void WritingWindow::目录框_selectionChanged() {
    const int selected = control(u8"目录框").position();
    if (selected < 0 || selected == shownItem_) return;
    // What was typed since the last tick belongs to the chapter being left.
    (void)saveChapter(shownItem_);
    loadSelectedChapter();
}

void WritingWindow::时钟_保存_tick() { (void)saveChapter(control(u8"目录框").position()); }

bool WritingWindow::saveChapter(int item) {
    auto& 内容 = control(u8"内容");
    auto& 名称 = control(u8"名称");
    const bool typed = SendMessageW(内容.hwnd(), EM_GETMODIFY, 0, 0) || SendMessageW(名称.hwnd(), EM_GETMODIFY, 0, 0);
    if (!unsaved_ && !typed) return true;  // the store would find the same bytes; reading them costs a 1 MB copy
    if (typed && !unsaved_) editorText_ = 内容.text();
    const std::string name = 名称.text();
    auto& store = app_.store();
    const bool written = store.ModifyCurrent({{core::contentFieldName(), rt::trimLeadingSpaces(editorText_)}, {core::nameFieldName(), name}});
    auto& list = control(u8"目录框");
    if (item >= 0 && item < list.itemCount()) {
        const std::string title = rt::trimLeadingSpaces(name);
        if (list.itemText(item) != title) list.setItemText(item, title);
    }
    // A write that failed on a record is tried again at the next tick.
    if (!written && store.RecordNumber() != 0) return false;
    unsaved_ = false;
    SendMessageW(内容.hwnd(), EM_SETMODIFY, FALSE, 0);
    SendMessageW(名称.hwnd(), EM_SETMODIFY, FALSE, 0);
    return true;
}

void WritingWindow::newChapter() {
    const std::string name = control(u8"名称").text();
    if (name.empty()) {
        (void)app_.ui().messageBox(rt::gbk(u8"您没有输入章节名称，请输入本章名称后在进行新建章节的操作。"), rt::gbk(u8"警告"),
                                   rt::kMbOkExclamation);
        return;
    }
    const std::filesystem::path file = app_.path("\\小说文件") / rt::toWide(core::chapterFileName(name));
    (void)rt::writeFile(file, editorText_);
    unsaved_ = true;
    // A chapter its record did not take stays on screen rather than being emptied away.
    if (!saveChapter(control(u8"目录框").position())) return;
    auto& store = app_.store();
    // Without a new record an item would stand for nothing; the chapter on screen stays.
    if (!store.AppendBlank()) return;
    auto& list = control(u8"目录框");
    list.addItem("", 0);
    list.setPosition(list.itemCount() - 1);
    loadSelectedChapter();
    control(u8"名称").focus();
}

void WritingWindow::deleteChapter() {
    auto& list = control(u8"目录框");
    if (list.position() < 0 || list.itemCount() <= 1) return;
    const int answer = app_.ui().messageBox(rt::gbk(u8"确认删除该章节吗，删除后可能会导致章节丢失。"), rt::gbk(u8"警告"),
                                            rt::kMbOkCancelExclamation);
    if (answer != rt::kAnswerOk || !alive()) return;
    const int s = list.position();
    if (s < 0 || list.itemCount() <= 1) return;
    const int e = s == 0 ? 0 : s - 1;
    auto& store = app_.store();
    auto& ui = app_.ui();
    if (!core::SeekLiveRecord(store, s + 1, ui)) return;
    // Not marked: the item keeps standing for its record, which the cursor is still on.
    if (!store.DeleteCurrent()) return;
    if (!core::SeekLiveRecord(store, e + 1, ui)) return;
    list.removeItem(s);
    list.setPosition(e);
    shownItem_ = -1;
    loadSelectedChapter();
}

// ---- Editor aids ----

void WritingWindow::内容_changed() {
    editorText_ = control(u8"内容").text();
    ++editorVersion_;
    unsaved_ = true;
    wakeAutoSave();
    control(u8"透明标签2").setText(rt::numberText(static_cast<long long>(core::countCharacters(editorText_))));
}

void WritingWindow::内容_keyUp(rt::KeyInfo key) {
    if (key.key != 13) return;
    // One append leaves the text, caret, scroll and count where setting the text + CR LF and then
    // appending the spaces would, without re-laying out and re-reading a long chapter three times.
    control(u8"内容").append("\r\n    ");
}

void WritingWindow::内容_keyDown(rt::KeyInfo key) {
    if (key.key != 65 || !(key.modifiers & 1)) return;
    if (key.modifiers == 1) control(u8"内容").select(0, -1);
    // The edit box's own Ctrl+A ignores Shift (seen under Wine); only the rule above selects.
    if (key.swallow) *key.swallow = true;
}

void WritingWindow::字体设置_clicked() {
    // Confirmed or cancelled, the dialog's values are what the editor takes.
    const rt::FontChoice chosen = 通用对话框1_.show(hwnd());
    if (!alive()) return;
    editorFont_ = core::takeFromFontDialog(editorFont_, asEditorFont(chosen));
    applyEditorFont();
}

void WritingWindow::applyEditorFont() {
    LOGFONTW lf{};
    std::wstring face = rt::toWide(editorFont_.face);
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    lf.lfHeight = -MulDiv(editorFont_.pointTenths, dpi(), 720);
    lf.lfWeight = editorFont_.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = editorFont_.italic;
    lf.lfUnderline = editorFont_.underline;
    lf.lfStrikeOut = editorFont_.strikeout;
    lf.lfEscapement = editorFont_.escapement;
    lf.lfCharSet = GB2312_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) return;
    SendMessageW(control(u8"内容").hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    editorHFont_.reset(font);
}

void WritingWindow::setClockLabels() {
    // Each label reads the clock for itself.
    setIfChanged(control(u8"日期"), core::dateCaption(rt::now()));
    setIfChanged(control(u8"时"), core::hourCaption(rt::now()));
    setIfChanged(control(u8"分"), core::minuteCaption(rt::now()));
    setIfChanged(control(u8"秒"), core::secondCaption(rt::now()));
}

SIZE WritingWindow::outerDesignSize() const {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    return {MulDiv(r.right - r.left, 96, dpi()), MulDiv(r.bottom - r.top, 96, dpi())};
}

void WritingWindow::layoutForSize() {
    if (!ready_) return;
    const auto [W, H] = outerDesignSize();
    auto& 内容 = control(u8"内容");
    auto& 分隔条 = control(u8"分隔条1");
    auto& 目录框 = control(u8"目录框");
    auto& 分组框 = control(u8"分组框1");
    auto& 关闭 = control(u8"码字关闭");
    auto& 最小化 = control(u8"码字最小化");
    const auto l = core::layoutForSize(W, H, {.group = 分组框.bounds().w, .close = 关闭.bounds().w,
                                               .minimise = 最小化.bounds().w});
    auto b = 内容.bounds();
    内容.setBounds({b.x, b.y, l.editorWidth, l.editorHeight});
    b = 分隔条.bounds();
    分隔条.setBounds({b.x, b.y, b.w, l.splitterHeight});
    b = 目录框.bounds();
    目录框.setBounds({b.x, b.y, b.w, l.listHeight});
    b = 分组框.bounds();
    分组框.setBounds({l.groupLeft, b.y, b.w, b.h});
    b = 关闭.bounds();
    关闭.setBounds({l.closeLeft, b.y, b.w, b.h});
    b = 最小化.bounds();
    最小化.setBounds({l.minimiseLeft, b.y, b.w, b.h});
    for (auto name : {u8"日期", u8"时", u8"秒", u8"分"}) {
        auto& label = control(name);
        b = label.bounds();
        label.setBounds({core::clockLabelLeft(W, b.w), b.y, b.w, b.h});
    }
    auto& viewer = control(u8"章节目录");
    b = viewer.bounds();
    viewer.setBounds({b.x, b.y, 内容.bounds().w, 内容.bounds().h});
}

void WritingWindow::layoutColumns(int target) {
    auto& 分隔条 = control(u8"分隔条1");
    auto& 目录框 = control(u8"目录框");
    auto& 名称 = control(u8"名称");
    auto& 内容 = control(u8"内容");
    const auto c = core::layoutForSplitter(target, outerDesignSize().cx,
                                           {.list = 目录框.bounds().x, .name = 名称.bounds().x,
                                            .splitterWidth = 分隔条.bounds().w});
    auto b = 分隔条.bounds();
    分隔条.setBounds({c.splitterLeft, b.y, b.w, b.h});
    b = 目录框.bounds();
    目录框.setBounds({b.x, b.y, c.listWidth, b.h});
    b = 名称.bounds();
    名称.setBounds({b.x, b.y, c.nameWidth, b.h});
    b = 内容.bounds();
    内容.setBounds({c.editorLeft, b.y, c.editorWidth, b.h});
}

void WritingWindow::toggleFolderViewer() {
    auto& viewer = control(u8"章节目录");
    if (viewer.visible()) {
        viewer.setVisible(false);
        setMenuItemText(u8"章节目录查看", rt::gbk(u8"章节目录查看"));
        return;
    }
    viewer.setVisible(true);
    setMenuItemText(u8"章节目录查看", rt::gbk(u8"章节目录关闭"));
    // Wide all the way: a program folder may hold characters GBK has not.
    rt::WebView(viewer).navigate(app_.path("\\小说文件").wstring());
}

LRESULT WritingWindow::handleMessage(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    handled = false;
    switch (msg) {
        case WM_SIZE:
            if (wp != SIZE_MINIMIZED) layoutForSize();
            return 0;
        case WM_CTLCOLOREDIT:
            if (reinterpret_cast<HWND>(lp) != control(u8"内容").hwnd()) return 0;
            handled = true;
            SetTextColor(reinterpret_cast<HDC>(wp), editorInk_);
            SetBkColor(reinterpret_cast<HDC>(wp), editorPaper_);
            return reinterpret_cast<LRESULT>(editorBrush_.get());
        case WM_CTLCOLORSTATIC: {
            // The group box and its labels sit on the window's plain colour below the picture band.
            HWND from = reinterpret_cast<HWND>(lp);
            if (from != control(u8"分组框1").hwnd() && from != control(u8"标签1").hwnd() &&
                from != control(u8"标签2").hwnd())
                return 0;
            handled = true;
            SetBkColor(reinterpret_cast<HDC>(wp), def().background);
            SetTextColor(reinterpret_cast<HDC>(wp), RGB(31, 58, 95));
            return reinterpret_cast<LRESULT>(windowBrush_.get());
        }
        case WM_CONTEXTMENU: {
            HWND over = reinterpret_cast<HWND>(wp);
            if (over == control(u8"目录框").hwnd()) {
                handled = true;
                popupMenu(u8"右键");
            } else if (over == hwnd()) {
                handled = true;
                popupMenu(u8"章节");
            }
            return 0;
        }
        case WM_DPICHANGED:
            // The runtime gives every control the interface font again; the editor keeps its own.
            PostMessageW(hwnd(), kApplyEditorFont, 0, 0);
            return 0;
        case kApplyEditorFont:
            handled = true;
            applyEditorFont();
            SendMessageW(control(u8"目录框").hwnd(), LB_SETITEMHEIGHT, 0, scale(20));
            return 0;
        default: return 0;
    }
}

}  // namespace app
