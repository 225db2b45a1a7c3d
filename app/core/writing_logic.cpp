#include "app/core/writing_logic.hpp"

#include <algorithm>
#include <array>

#include "runtime/text.hpp"

namespace core {

std::size_t countCharacters(std::string_view gbk) {
    // One pass doing what the three steps do in turn: drop spaces, drop CR LF pairs of what is left
    // (left to right, as replacing every occurrence does), then walk with the lead-byte rule.
    std::size_t count = 0;
    bool skipNext = false;
    bool pendingCr = false;
    auto walk = [&](unsigned char b) {
        if (skipNext) {
            skipNext = false;
            return;
        }
        ++count;
        skipNext = b >= 0x80;
    };
    const std::size_t n = gbk.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(gbk[i]);
        // Most of a chapter is two-byte characters: take one whole when nothing is pending and its
        // second byte is neither removed nor the start of a pair that is.
        if (b >= 0x80 && !skipNext && !pendingCr && i + 1 < n && gbk[i + 1] != ' ' && gbk[i + 1] != '\r') {
            ++count;
            ++i;
            continue;
        }
        if (b == ' ') continue;
        if (pendingCr) {
            pendingCr = false;
            if (b == '\n') continue;
            walk('\r');
        }
        if (b == '\r') {
            pendingCr = true;
            continue;
        }
        walk(b);
    }
    if (pendingCr) walk('\r');
    return count;
}

namespace {
int atLeastZero(int v) { return std::max(v, 0); }
}  // namespace

SizeLayout layoutForSize(int W, int H, MovedWidths widths) {
    SizeLayout out;
    out.editorHeight = atLeastZero(H - 65);
    out.editorWidth = atLeastZero(W - 309);
    out.splitterHeight = atLeastZero(H - 55);
    out.listHeight = atLeastZero(H - 122);
    out.groupLeft = W - (widths.group + 25);
    out.closeLeft = W - (widths.close + 20);
    out.minimiseLeft = W - (widths.minimise + 60);
    return out;
}

ColumnLayout layoutForSplitter(int P, int W, ColumnLefts lefts) {
    if (P < 8) P = 8;
    if (P > W - 20) P = W - 20;  // checked second, so it wins on a window narrower than 28
    ColumnLayout out;
    out.splitterLeft = P;
    out.listWidth = atLeastZero(P - lefts.list - 2);
    out.nameWidth = atLeastZero(P - lefts.name - 2);
    out.editorLeft = P + lefts.splitterWidth + 1;
    out.editorWidth = atLeastZero(W - 180 - out.editorLeft);
    return out;
}

namespace {

bool isLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

const std::string& fullWidthFor(char c) {
    static const std::array<std::pair<char, std::string>, 9> forms = {{
        {'\\', rt::gbk(u8"＼")},
        {'/', rt::gbk(u8"／")},
        {':', rt::gbk(u8"：")},
        {'*', rt::gbk(u8"＊")},
        {'?', rt::gbk(u8"？")},
        {'"', rt::gbk(u8"＂")},
        {'<', rt::gbk(u8"＜")},
        {'>', rt::gbk(u8"＞")},
        {'|', rt::gbk(u8"｜")},
    }};
    static const std::string none;
    for (const auto& [from, to] : forms) {
        if (from == c) return to;
    }
    return none;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Windows reads a device in the part before the first dot, ignoring trailing spaces.
bool namesDevice(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    std::string upper;
    for (char c : base) upper += asciiUpper(c);
    static constexpr std::string_view kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (auto d : kDevices) {
        if (upper == d) return true;
    }
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
           upper[3] <= '9';
}

}  // namespace

std::string chapterFileName(std::string_view name) {
    static const std::string blank = rt::gbk(u8"　");
    static const std::string underscore = rt::gbk(u8"＿");
    std::string out;
    out.reserve(name.size() + 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        // A trail byte may be '\' or '|'; it belongs to its character and stays.
        if (isLeadByte(b) && i + 1 < name.size() && isTrailByte(static_cast<unsigned char>(name[i + 1]))) {
            out += name.substr(i, 2);
            ++i;
        } else if (b < 0x20) {
            out += blank;
        } else if (const std::string& wide = fullWidthFor(name[i]); !wide.empty()) {
            out += wide;
        } else {
            out += name[i];
        }
    }
    if (namesDevice(out)) out.insert(0, underscore);
    return out + ".txt";
}

std::string dateCaption(const rt::LocalDateTime& t) { return rt::gbk(u8"日期：") + rt::dateText(t); }
std::string hourCaption(const rt::LocalDateTime& t) { return rt::gbk(u8"时：") + rt::numberText(static_cast<long long>(t.hour)); }
std::string minuteCaption(const rt::LocalDateTime& t) {
    return rt::gbk(u8"分：") + rt::numberText(static_cast<long long>(t.minute));
}
std::string secondCaption(const rt::LocalDateTime& t) {
    return rt::gbk(u8"秒：") + rt::numberText(static_cast<long long>(t.second));
}

EditorFont takeFromFontDialog(EditorFont editor, const EditorFont& dialog) {
    editor.face = dialog.face;
    editor.strikeout = dialog.strikeout;
    editor.underline = dialog.underline;
    editor.pointTenths = dialog.pointTenths;
    editor.bold = dialog.bold;
    return editor;
}

}  // namespace core
