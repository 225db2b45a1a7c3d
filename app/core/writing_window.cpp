#include "app/core/writing_window.hpp"

#include "app/forms/forms.hpp"
#include "runtime/win/services.hpp"

namespace app {

WritingWindow::WritingWindow(Penloom& app) : rt::Window(forms::k码字窗口), app_(app) {
    onCreated([this] { rt::tagWindowForFolder(hwnd(), app_.programDir(), false); });
}

}  // namespace app
