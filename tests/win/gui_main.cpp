// Test programs that create real windows: same process set-up as Penloom.exe.
#include <windows.h>

#include <ole2.h>

#include <gtest/gtest.h>

#include "runtime/win/services.hpp"
#include "runtime/win/window.hpp"

int main(int argc, char** argv) {
    rt::enablePerMonitorDpi();
    (void)OleInitialize(nullptr);
    rt::registerClasses(GetModuleHandleW(nullptr));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
