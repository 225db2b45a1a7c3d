#include "app/core/main_window.hpp"

#include "app/core/splash.hpp"
#include "app/forms/forms.hpp"
#include "app/forms/resources.hpp"
#include "runtime/win/services.hpp"

namespace app {

MainWindow::MainWindow(Penloom& app) : rt::Window(forms::k软件主界面), app_(app) {
    onCreated([this] { created(); });
    onDestroying([this] {
        app_.trace("BackupChapterFiles");
        BackupChapterFiles(app_);
    });
    onTray([this](int argument) { trayEvent(argument); });
    on(u8"按钮_码字", rt::Event::Clicked, [this] { 按钮_码字_clicked(); });
    on(u8"按钮_大纲", rt::Event::Clicked, [this] { showPage(1); });
    on(u8"按钮_音乐", rt::Event::Clicked, [this] {
        showPage(2);
        app_.trace("ReloadSongList");
        ReloadSongList(app_);
    });
    on(u8"按钮_搜索", rt::Event::Clicked, [this] { showPage(3); });
    on(u8"按钮_帮助", rt::Event::Clicked, [this] {
        showPage(4);
        app_.trace("HelpPageStep");
        HelpPageStep(app_);
    });
    on(u8"按钮_托盘", rt::Event::Clicked, [this] { 按钮_托盘_clicked(); });
    on(u8"按钮_最小化", rt::Event::Clicked, [this] { setState(2); });
    on(u8"按钮_关闭", rt::Event::Clicked, [this] { requestDestroy(); });
    on(u8"按钮_开始码字", rt::Event::Clicked, [this] { app_.openWritingWindow(); });
}

void MainWindow::created() {
    rt::tagWindowForFolder(hwnd(), app_.programDir(), true);
    {
        Splash splash(app_);
        splash.runModal();
    }
    app_.trace("SplashClosed");
    rt::setVisualStyle(2);
    app_.trace("ReloadSongList");
    ReloadSongList(app_);
    app_.trace("OpenChapterStore");
    app_.openChapterStore();
    setEnabled(true);
    app_.trace("MainWindowEnabled");
}

void MainWindow::showPage(int page) { control(u8"选择夹1").setCurrentPage(page); }

void MainWindow::按钮_码字_clicked() { showPage(0); }

void MainWindow::按钮_托盘_clicked() {
    showTrayIcon(res::kTrayIcon);
    setVisible(false);
}

void MainWindow::trayEvent(int argument) {
    if (argument != 1) return;
    int s = state();
    if (s == 2 || s == 3) {
        setState(0);
        return;
    }
    // A state request while hidden is not applied, so a window hidden to the tray comes back normal.
    setState(2);
    setVisible(true);
}

}  // namespace app
