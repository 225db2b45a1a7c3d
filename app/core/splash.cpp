#include "app/core/splash.hpp"

#include "app/forms/forms.hpp"
#include "app/forms/resources.hpp"
#include "runtime/files.hpp"
#include "runtime/win/services.hpp"

namespace app {

namespace {
constexpr int kBarEnd = 50;
}

Splash::Splash(Penloom& app) : rt::Window(forms::k启动界面), app_(app) {
    onCreated([this] { created(); });
    on(u8"时钟1", rt::Event::Tick, [this] { tick(); });
}

void Splash::created() {
    auto& bar = control(u8"进度条1");
    bar.setPosition(bar.position() + 1);
    for (const char* folder : {"\\小说文件", "\\小说文件备份", "\\自动保存", "\\自动保存备份", "\\小说大纲"}) {
        (void)rt::createFolder(app_.path(folder));
    }
    (void)rt::writeFile(app_.path("\\index.htm"), rt::resourceBytes(res::kOfflinePage));
}

void Splash::tick() {
    auto& bar = control(u8"进度条1");
    if (visible()) bar.setPosition(bar.position() + 1);
    if (bar.position() == kBarEnd) {
        control(u8"时钟1").setTimerPeriod(0);
        requestDestroy();
    }
}

}  // namespace app
