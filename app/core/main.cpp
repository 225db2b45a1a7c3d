#include <windows.h>

#include <objbase.h>
#include <ole2.h>

#include "app/core/app.hpp"
#include "runtime/win/services.hpp"
#include "runtime/win/window.hpp"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    rt::enablePerMonitorDpi();
    // One Penloom per program folder: two writers would corrupt the chapter store.
    const auto dir = rt::programDirectory();
    if (!rt::claimProgramFolder(dir)) return 0;
    (void)OleInitialize(nullptr);
    rt::registerClasses(instance);
    rt::Win32Ui ui;
    app::Penloom penloom(dir, ui);
    penloom.start();
    int code = rt::runMessageLoop();
    OleUninitialize();
    return code;
}
