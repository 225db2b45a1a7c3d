#pragma once
// Window definitions: controls with their kinds, design positions, sizes and start texts.
#include "runtime/win/window.hpp"

namespace forms {

extern const rt::WindowDef k软件主界面;
extern const rt::WindowDef k启动界面;
extern const rt::WindowDef k码字窗口;

// Product name and version shown on the main window.
inline constexpr std::u8string_view kVersionText = u8"Penloom 码字助手　　主程序版本：1.0.1.4";

}  // namespace forms
