#pragma once
#include "app/core/app.hpp"
#include "runtime/win/window.hpp"

namespace app {

// 软件主界面: navigation buttons, the five pages, tray, minimise and close.
class MainWindow : public rt::Window {
public:
    explicit MainWindow(Penloom& app);

    void 按钮_码字_clicked();
    void 按钮_托盘_clicked();
    void trayEvent(int argument);

private:
    void created();
    void showPage(int page);
    Penloom& app_;
};

}  // namespace app
