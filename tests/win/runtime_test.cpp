// The window and message-box services every window relies on, on a small window of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "runtime/text.hpp"
#include "runtime/win/services.hpp"
#include "runtime/win/window.hpp"
#include "support.hpp"

using namespace testing_win;

namespace {

const rt::ControlDef kControls[] = {
    {.kind = rt::Kind::Edit, .name = u8"编辑框1", .x = 10, .y = 10, .w = 200, .h = 24},
    {.kind = rt::Kind::Button, .name = u8"按钮1", .x = 10, .y = 40, .w = 80, .h = 24, .text = u8"确定"},
    {.kind = rt::Kind::Timer, .name = u8"时钟1", .timerPeriod = 0},
};
const rt::WindowDef kForm{.name = u8"测试窗口", .title = u8"测试窗口", .w = 300, .h = 120, .captionBar = true,
                          .controls = kControls};

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override { rt::setLastWindowGoneHandler([this] { ++gone; }); }
    void TearDown() override { rt::setLastWindowGoneHandler({}); }
    int gone = 0;
    MessageBoxResponder boxes;
};

TEST_F(RuntimeTest, MessageBoxFlagsAndAnswers) {
    struct Case {
        int flags;
        int button;
        int answer;
    };
    const Case cases[] = {{0, IDOK, rt::kAnswerOk},       {48, IDOK, rt::kAnswerOk},  {49, IDOK, rt::kAnswerOk},
                          {49, IDCANCEL, rt::kAnswerCancel}, {52, IDYES, rt::kAnswerYes}, {52, IDNO, rt::kAnswerNo}};
    rt::Win32Ui ui;
    for (const auto& c : cases) {
        boxes.setButton(c.button);
        EXPECT_EQ(ui.messageBox(rt::gbk(u8"正文"), rt::gbk(u8"标题"), c.flags), c.answer) << c.flags << "/" << c.button;
    }
    ASSERT_EQ(boxes.boxes().size(), std::size(cases));
    EXPECT_EQ(boxes.boxes()[0].text, L"正文");
    EXPECT_EQ(boxes.boxes()[0].caption, L"标题");
    boxes.setButton(IDOK);
    (void)ui.messageBox(rt::gbk(u8"无标题"), "", 0);
    EXPECT_EQ(boxes.boxes().back().caption, L"信息：") << "the default caption";
}

TEST_F(RuntimeTest, CreatedRunsBeforeInputAndDestroyComesAfterTheAboutToBeDestroyedEvent) {
    rt::Window w(kForm);
    std::vector<std::string> events;
    w.onCreated([&] {
        events.push_back(IsWindowEnabled(w.hwnd()) ? "created-enabled" : "created-disabled");
        events.push_back(IsWindowVisible(w.hwnd()) ? "created-visible" : "created-hidden");
    });
    w.onDestroying([&] { events.push_back(w.alive() ? "destroying-alive" : "destroying-gone"); });
    w.create();
    EXPECT_TRUE(w.visible());
    EXPECT_TRUE(w.enabled());
    w.requestDestroy();
    EXPECT_TRUE(w.alive()) << "carried out on return to the loop";
    ASSERT_TRUE(pumpUntil([&] { return !w.alive(); }));
    EXPECT_EQ(events, (std::vector<std::string>{"created-disabled", "created-hidden", "destroying-alive"}));
    EXPECT_EQ(gone, 1);
}

TEST_F(RuntimeTest, CanBeClosedHandlerKeepsTheWindow) {
    rt::Window w(kForm);
    bool allow = false;
    w.onCanClose([&] { return allow; });
    w.create();
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    pumpFor(50);
    EXPECT_TRUE(w.alive());
    allow = true;
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(pumpUntil([&] { return !w.alive(); }));
}

TEST_F(RuntimeTest, StateReadsAndWritesOnlyWhileVisible) {
    rt::Window w(kForm);
    w.create();
    EXPECT_EQ(w.state(), 0);
    w.setState(3);
    EXPECT_EQ(w.state(), 3);
    w.setState(2);
    EXPECT_EQ(w.state(), 2);
    w.setState(0);
    EXPECT_EQ(w.state(), 0);
    w.setVisible(false);
    w.setState(2);  // not applied while hidden
    EXPECT_EQ(w.state(), 0);
    w.setVisible(true);
    EXPECT_EQ(w.state(), 0);
    EXPECT_FALSE(IsIconic(w.hwnd()));
}

TEST_F(RuntimeTest, TimersTickInsideAMessageBoxAndPeriodZeroStops) {
    rt::Window w(kForm);
    int ticks = 0, ticksWhenBoxOpened = -1;
    w.on(u8"时钟1", rt::Event::Tick, [&] { ++ticks; });
    w.create();
    auto& timer = w.control(u8"时钟1");
    timer.setTimerPeriod(1);
    // The box stays until its scripted answer; ticks go on in its nested loop meanwhile.
    boxes.setButton(IDOK);
    ticksWhenBoxOpened = ticks;
    rt::Win32Ui ui;
    (void)ui.messageBox("x", "", 0);
    EXPECT_GT(ticks, ticksWhenBoxOpened);
    ASSERT_TRUE(pumpUntil([&] { return ticks > ticksWhenBoxOpened + 3; }));
    timer.setTimerPeriod(0);
    pumpFor(30);
    int stopped = ticks;
    pumpFor(100);
    EXPECT_EQ(ticks, stopped);
}

TEST_F(RuntimeTest, KeyEventsCarryTheModifierSum) {
    rt::Window w(kForm);
    std::vector<std::pair<int, int>> keys;
    w.onKey(u8"编辑框1", rt::Event::KeyUp, [&](rt::KeyInfo k) { keys.emplace_back(k.key, k.modifiers); });
    w.create();
    HWND edit = w.control(u8"编辑框1").hwnd();
    auto pressWith = [&](std::initializer_list<int> mods, int key) {
        BYTE state[256] = {};
        for (int m : mods) state[m] = 0x80;
        SetKeyboardState(state);
        SendMessageW(edit, WM_KEYDOWN, static_cast<WPARAM>(key), 0);
        SendMessageW(edit, WM_KEYUP, static_cast<WPARAM>(key), 0xC0000001);
        BYTE none[256] = {};
        SetKeyboardState(none);
    };
    pressWith({}, 13);
    pressWith({VK_CONTROL}, 'A');
    pressWith({VK_CONTROL, VK_SHIFT}, 'A');
    pressWith({VK_CONTROL, VK_SHIFT, VK_MENU}, 'A');
    EXPECT_EQ(keys, (std::vector<std::pair<int, int>>{{13, 0}, {65, 1}, {65, 3}, {65, 7}}));
}

TEST_F(RuntimeTest, ControlTextsRoundTripAsGbk) {
    rt::Window w(kForm);
    w.create();
    auto& edit = w.control(u8"编辑框1");
    const std::string text = rt::gbk(u8"第一章　风起 abc");
    edit.setText(text);
    EXPECT_EQ(edit.text(), text);
    EXPECT_EQ(w.control(u8"按钮1").text(), rt::gbk(u8"确定"));
}

TEST_F(RuntimeTest, ModalWindowReturnsOnceDestroyed) {
    rt::Window w(kForm);
    int ticks = 0;
    w.on(u8"时钟1", rt::Event::Tick, [&] {
        if (++ticks == 3) w.requestDestroy();
    });
    w.onCreated([&] { w.control(u8"时钟1").setTimerPeriod(1); });
    w.runModal();
    EXPECT_FALSE(w.alive());
    EXPECT_EQ(ticks, 3);
}

// Picture buttons and colour pickers press like push buttons: a mouse press acts only when released over
// the control, a lost capture cancels it, BM_CLICK (enabled only), Space and Enter act at once.
TEST_F(RuntimeTest, OwnClickableControlsActOnlyOnACompletedPress) {
    const rt::ControlDef controls[] = {
        {.kind = rt::Kind::PictureButton, .name = u8"图形按钮1", .x = 10, .y = 10, .w = 60, .h = 30},
        {.kind = rt::Kind::ColourPicker, .name = u8"颜色选择器1", .x = 80, .y = 10, .w = 60, .h = 30},
    };
    const rt::WindowDef form{.name = u8"按钮窗口", .title = u8"按钮窗口", .w = 200, .h = 80, .captionBar = true,
                             .controls = controls};
    rt::Window w(form);
    int clicks = 0;
    w.on(u8"图形按钮1", rt::Event::Clicked, [&] { ++clicks; });
    w.create();
    DialogDriver colourDialogs([](HWND dlg) { pressButton(dlg, IDCANCEL); });

    const LPARAM inside = MAKELPARAM(5, 5), outside = MAKELPARAM(500, 5);
    struct Step {
        UINT msg;  // 0: the capture is taken away (another window takes the mouse)
        WPARAM wp;
        LPARAM lp;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        bool enabled;
        int acts;
    };
    const Case cases[] = {
        {"press and release over it", {{WM_LBUTTONDOWN, MK_LBUTTON, inside}, {WM_LBUTTONUP, 0, inside}}, true, 1},
        {"released elsewhere", {{WM_LBUTTONDOWN, MK_LBUTTON, inside}, {WM_LBUTTONUP, 0, outside}}, true, 0},
        {"release without a press", {{WM_LBUTTONUP, 0, inside}}, true, 0},
        {"capture lost while pressed",
         {{WM_LBUTTONDOWN, MK_LBUTTON, inside}, {0, 0, 0}, {WM_LBUTTONUP, 0, inside}}, true, 0},
        {"double click",
         {{WM_LBUTTONDOWN, MK_LBUTTON, inside}, {WM_LBUTTONUP, 0, inside}, {WM_LBUTTONDBLCLK, MK_LBUTTON, inside},
          {WM_LBUTTONUP, 0, inside}},
         true, 2},
        {"Space, Enter and another key", {{WM_KEYUP, VK_SPACE, 0}, {WM_KEYUP, VK_RETURN, 0}, {WM_KEYUP, 'A', 0}}, true, 2},
        {"BM_CLICK", {{BM_CLICK, 0, 0}}, true, 1},
        {"BM_CLICK while disabled", {{BM_CLICK, 0, 0}}, false, 0},
    };
    for (const auto& c : cases) {
        for (const char8_t* name : {u8"图形按钮1", u8"颜色选择器1"}) {
            HWND h = w.control(name).hwnd();
            EnableWindow(h, c.enabled);
            clicks = 0;
            colourDialogs.seen = 0;
            for (const auto& step : c.steps) {
                if (step.msg == 0) ReleaseCapture();
                else SendMessageW(h, step.msg, step.wp, step.lp);
            }
            EnableWindow(h, TRUE);
            const int acts = name == std::u8string_view(u8"图形按钮1") ? clicks : colourDialogs.seen;
            EXPECT_EQ(acts, c.acts) << c.what << " on " << rt::toUtf8(rt::gbk(name));
            EXPECT_NE(GetCapture(), h) << c.what << ": the mouse is let go";
        }
    }
}

}  // namespace
