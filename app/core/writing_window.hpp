#pragma once
#include "app/core/app.hpp"
#include "runtime/win/window.hpp"

namespace app {

// 码字窗口: where the author writes, chapter by chapter.
class WritingWindow : public rt::Window {
public:
    explicit WritingWindow(Penloom& app);

private:
    Penloom& app_;
};

}  // namespace app
