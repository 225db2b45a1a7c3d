#pragma once
#include "app/core/app.hpp"
#include "runtime/win/window.hpp"

namespace app {

// 启动界面……: prepares the data folders and the offline page while its bar runs to 50.
class Splash : public rt::Window {
public:
    explicit Splash(Penloom& app);

private:
    void created();
    void tick();
    Penloom& app_;
};

}  // namespace app
