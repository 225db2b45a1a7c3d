#include "app/forms/forms.hpp"

#include "app/forms/resources.hpp"

namespace forms {

using rt::ControlDef;
using rt::Kind;

namespace {

constexpr COLORREF kInk = RGB(31, 58, 95);
constexpr COLORREF kMuted = RGB(96, 118, 145);

const ControlDef kMainControls[] = {
    {.kind = Kind::PageControl, .name = u8"选择夹1", .x = -2, .y = 95, .w = 904, .h = 488, .text = u8"1|2|3|4|5"},
    // Page 0: the start page.
    {.kind = Kind::Canvas, .name = u8"画板1", .x = -2, .y = 0, .w = 904, .h = 468, .parent = u8"选择夹1", .page = 0,
     .picture = res::kStartPage},
    {.kind = Kind::PictureButton, .name = u8"按钮_开始码字", .x = 325, .y = 313, .w = 254, .h = 82, .text = u8"开始码字",
     .parent = u8"画板1", .picture = res::kStartWriting, .hoverPicture = res::kStartWritingHover},
    {.kind = Kind::Picture, .name = u8"按钮_logo", .x = 392, .y = 69, .w = 120, .h = 120, .parent = u8"画板1",
     .picture = res::kLogo},
    {.kind = Kind::PictureButton, .name = u8"图形按钮11", .x = 0, .y = 0, .w = 16, .h = 16, .parent = u8"选择夹1",
     .page = 0, .picture = res::kTrayPicture, .visible = false},
    // Pages 1 to 4 hold their companion tools; until those arrive, each says what it will hold.
    {.kind = Kind::Label, .name = u8"占位标签1", .x = 40, .y = 40, .w = 820, .h = 24, .text = u8"小说设定：人物、世界观与大纲（即将推出）",
     .parent = u8"选择夹1", .page = 1, .textColour = kInk, .fontPoints = 12},
    {.kind = Kind::Label, .name = u8"占位标签2", .x = 40, .y = 40, .w = 820, .h = 24, .text = u8"音乐：边听边写的歌曲列表（即将推出）",
     .parent = u8"选择夹1", .page = 2, .textColour = kInk, .fontPoints = 12},
    {.kind = Kind::Label, .name = u8"占位标签3", .x = 40, .y = 40, .w = 820, .h = 24, .text = u8"搜索：资料查找与写作素材（即将推出）",
     .parent = u8"选择夹1", .page = 3, .textColour = kInk, .fontPoints = 12},
    {.kind = Kind::Label, .name = u8"占位标签4", .x = 40, .y = 40, .w = 820, .h = 24, .text = u8"帮助：使用说明、更新与关于（即将推出）",
     .parent = u8"选择夹1", .page = 4, .textColour = kInk, .fontPoints = 12},
    // Outside the pages.
    {.kind = Kind::PictureButton, .name = u8"按钮_码字", .x = 71, .y = 21, .w = 65, .h = 65, .text = u8"码字",
     .picture = res::kNavWrite, .hoverPicture = res::kNavWriteHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_大纲", .x = 240, .y = 20, .w = 65, .h = 65, .text = u8"大纲",
     .picture = res::kNavOutline, .hoverPicture = res::kNavOutlineHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_音乐", .x = 409, .y = 22, .w = 65, .h = 65, .text = u8"音乐",
     .picture = res::kNavMusic, .hoverPicture = res::kNavMusicHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_搜索", .x = 578, .y = 24, .w = 65, .h = 65, .text = u8"搜索",
     .picture = res::kNavSearch, .hoverPicture = res::kNavSearchHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_帮助", .x = 748, .y = 23, .w = 65, .h = 65, .text = u8"帮助",
     .picture = res::kNavHelp, .hoverPicture = res::kNavHelpHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_托盘", .x = 756, .y = 2, .w = 40, .h = 20, .text = u8"托盘",
     .picture = res::kCapTray, .hoverPicture = res::kCapTrayHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_最小化", .x = 800, .y = 2, .w = 40, .h = 20, .text = u8"最小化",
     .picture = res::kCapMin, .hoverPicture = res::kCapMinHover},
    {.kind = Kind::PictureButton, .name = u8"按钮_关闭", .x = 845, .y = 2, .w = 40, .h = 20, .text = u8"关闭",
     .picture = res::kCapClose, .hoverPicture = res::kCapCloseHover},
    {.kind = Kind::TransparentLabel, .name = u8"软件版本", .x = 293, .y = 563, .w = 304, .h = 16, .text = kVersionText,
     .textColour = kMuted},
};

const ControlDef kSplashControls[] = {
    {.kind = Kind::Picture, .name = u8"图形按钮1", .x = 165, .y = 8, .w = 120, .h = 120, .picture = res::kLogo},
    {.kind = Kind::TransparentLabel, .name = u8"透明标签1", .x = 133, .y = 152, .w = 184, .h = 32, .text = u8"资源配置载入中……",
     .textColour = kInk, .fontPoints = 11},
    {.kind = Kind::ProgressBar, .name = u8"进度条1", .x = 21, .y = 209, .w = 408, .h = 16, .rangeMax = 50},
    {.kind = Kind::Timer, .name = u8"时钟1", .timerPeriod = 1},
};

const ControlDef kWritingControls[] = {
    {.kind = Kind::TransparentLabel, .name = u8"透明标签7", .x = 8, .y = 10, .w = 72, .h = 16, .text = u8"章节名称："},
    {.kind = Kind::Edit, .name = u8"名称", .x = 3, .y = 33, .w = 109, .h = 24},
    {.kind = Kind::Button, .name = u8"新增章节", .x = 6, .y = 62, .w = 50, .h = 24, .text = u8"新章"},
    {.kind = Kind::Button, .name = u8"删除选中", .x = 63, .y = 62, .w = 53, .h = 24, .text = u8"删除"},
    {.kind = Kind::IconList, .name = u8"目录框", .x = 4, .y = 88, .w = 111, .h = 280, .picture = res::kChapterItem},
    {.kind = Kind::Splitter, .name = u8"分隔条1", .x = 117, .y = 24, .w = 8, .h = 360},
    {.kind = Kind::TransparentLabel, .name = u8"透明标签8", .x = 141, .y = 9, .w = 72, .h = 16, .text = u8"章节内容："},
    {.kind = Kind::MultiLineEdit, .name = u8"内容", .x = 128, .y = 35, .w = 496, .h = 327},
    // Lies over the editor when shown.
    {.kind = Kind::HtmlView, .name = u8"章节目录", .x = 128, .y = 35, .w = 112, .h = 80, .visible = false},
    // "本章字数：" is five full-width characters in 56 pixels: a point smaller keeps the colon.
    {.kind = Kind::TransparentLabel, .name = u8"透明标签1", .x = 664, .y = 12, .w = 56, .h = 16, .text = u8"本章字数：",
     .fontPoints = 8},
    {.kind = Kind::TransparentLabel, .name = u8"透明标签2", .x = 719, .y = 12, .w = 73, .h = 16, .text = u8"0", .fontPoints = 8},
    {.kind = Kind::PictureButton, .name = u8"码字最小化", .x = 716, .y = 2, .w = 40, .h = 20, .text = u8"最小化",
     .picture = res::kCapMin, .hoverPicture = res::kCapMinHover},
    {.kind = Kind::PictureButton, .name = u8"码字关闭", .x = 761, .y = 2, .w = 40, .h = 20, .text = u8"关闭",
     .picture = res::kCapClose, .hoverPicture = res::kCapCloseHover},
    {.kind = Kind::GroupBox, .name = u8"分组框1", .x = 632, .y = 40, .w = 152, .h = 216, .text = u8"字体、文本颜色设置"},
    {.kind = Kind::Button, .name = u8"字体设置", .x = 24, .y = 32, .w = 112, .h = 24, .text = u8"字体设置", .parent = u8"分组框1"},
    {.kind = Kind::Label, .name = u8"标签1", .x = 24, .y = 113, .w = 64, .h = 16, .text = u8"背景颜色：", .parent = u8"分组框1"},
    {.kind = Kind::ColourPicker, .name = u8"背景颜色", .x = 96, .y = 111, .w = 48, .h = 24, .parent = u8"分组框1",
     .background = RGB(255, 255, 255)},
    {.kind = Kind::Label, .name = u8"标签2", .x = 24, .y = 169, .w = 64, .h = 16, .text = u8"文本颜色：", .parent = u8"分组框1"},
    {.kind = Kind::ColourPicker, .name = u8"文本颜色", .x = 98, .y = 167, .w = 48, .h = 24, .parent = u8"分组框1",
     .background = RGB(0, 0, 0)},
    {.kind = Kind::TransparentLabel, .name = u8"日期", .x = 634, .y = 293, .w = 160, .h = 16, .text = u8"日期："},
    {.kind = Kind::TransparentLabel, .name = u8"时", .x = 634, .y = 319, .w = 160, .h = 16, .text = u8"时："},
    {.kind = Kind::TransparentLabel, .name = u8"分", .x = 634, .y = 345, .w = 160, .h = 16, .text = u8"分："},
    {.kind = Kind::TransparentLabel, .name = u8"秒", .x = 634, .y = 368, .w = 160, .h = 16, .text = u8"秒："},
    {.kind = Kind::Timer, .name = u8"现行时间", .timerPeriod = 1000},
    {.kind = Kind::Timer, .name = u8"时钟_保存", .timerPeriod = 100},
    {.kind = Kind::Timer, .name = u8"时钟_自动保存", .timerPeriod = 1},
};

const rt::MenuItemDef kChapterMenu[] = {{.name = u8"章节目录查看", .text = u8"章节目录查看"}};
const rt::MenuItemDef kListMenu[] = {{.name = u8"新建章节", .text = u8"新建章节"}, {.name = u8"删除章节", .text = u8"删除章节"}};
const rt::MenuItemDef kHiddenMenu[] = {{.name = u8"自动保存内容", .text = u8"自动保存内容", .checked = true}};
const rt::MenuDef kWritingMenus[] = {
    {.name = u8"章节", .items = kChapterMenu},
    {.name = u8"右键", .items = kListMenu},
    {.name = u8"菜单", .items = kHiddenMenu},
};

}  // namespace

const rt::WindowDef k软件主界面{
    .name = u8"软件主界面",
    .title = u8"软件主界面",
    .w = 900,
    .h = 590,
    .backgroundPicture = res::kMainBackground,
    .background = RGB(238, 245, 252),
    .icon = res::kAppIcon,
    .captionBar = false,
    .dragBandHeight = 95,
    .controls = kMainControls,
};

const rt::WindowDef k启动界面{
    .name = u8"启动界面……",
    .title = u8"启动界面……",
    .w = 460,
    .h = 250,
    .backgroundPicture = res::kSplashBackground,
    .background = RGB(181, 220, 255),
    .icon = res::kAppIcon,
    .captionBar = false,
    .minimizeBox = false,
    .controls = kSplashControls,
};

const rt::WindowDef k码字窗口{
    .name = u8"码字窗口",
    .title = u8"码字窗口",
    .w = 794,
    .h = 381,
    .backgroundPicture = res::kWriteBand,
    .background = RGB(248, 251, 255),
    .icon = res::kAppIcon,
    .captionBar = true,
    .resizable = true,
    .controls = kWritingControls,
    .menus = kWritingMenus,
    .systemMenu = false,
    .startMaximised = true,
    .backgroundBand = 31,
};

}  // namespace forms
