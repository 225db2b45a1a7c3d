#pragma once
// The writing window's rules that need no window: the character count, the layout arithmetic,
// chapter text file names, the clock captions and what the font dialog hands to the editor.
#include <cstddef>
#include <string>
#include <string_view>

#include "runtime/datetime.hpp"

namespace core {

// Characters of a GBK text as the count caption shows them: half-width spaces and CR LF pairs
// do not count; a byte of 0x80 or above counts once together with the byte after it.
[[nodiscard]] std::size_t countCharacters(std::string_view gbk);

// Window size changed. W and H are the outer size and every value is in 96-dpi design pixels;
// sizes never come out below 0.
struct SizeLayout {
    int editorWidth = 0, editorHeight = 0;
    int splitterHeight = 0;
    int listHeight = 0;
    int groupLeft = 0, closeLeft = 0, minimiseLeft = 0;
};
struct MovedWidths {
    int group = 0, close = 0, minimise = 0;
};
[[nodiscard]] SizeLayout layoutForSize(int W, int H, MovedWidths widths);
[[nodiscard]] inline int clockLabelLeft(int W, int labelWidth) { return W - labelWidth; }

// Splitter dragged to P (its target left). W is the window's outer width.
struct ColumnLayout {
    int splitterLeft = 0;
    int listWidth = 0, nameWidth = 0;
    int editorLeft = 0, editorWidth = 0;
};
struct ColumnLefts {
    int list = 0, name = 0, splitterWidth = 0;
};
[[nodiscard]] ColumnLayout layoutForSplitter(int P, int W, ColumnLefts lefts);

// File name (GBK, with ".txt") for a chapter named as typed. Characters Windows refuses in file
// names become their full-width forms (control characters a full-width space) and a reserved
// device name gets a full-width underscore before it, so the file always lands in its folder.
[[nodiscard]] std::string chapterFileName(std::string_view gbkName);

// Captions of the clock labels: 日期：2014年1月5日, 时：9, 分：5, 秒：3 (GBK).
[[nodiscard]] std::string dateCaption(const rt::LocalDateTime& t);
[[nodiscard]] std::string hourCaption(const rt::LocalDateTime& t);
[[nodiscard]] std::string minuteCaption(const rt::LocalDateTime& t);
[[nodiscard]] std::string secondCaption(const rt::LocalDateTime& t);

// An editor font as the window keeps it. Face is GBK; size in tenths of a point.
struct EditorFont {
    std::string face;
    int pointTenths = 120;
    bool bold = false, italic = false, underline = false, strikeout = false;
    int escapement = 0;  // text angle in tenths of a degree
    bool operator==(const EditorFont&) const = default;
};
// What the font dialog hands to the editor: face, strikeout, underline, size and bold only.
[[nodiscard]] EditorFont takeFromFontDialog(EditorFont editor, const EditorFont& dialog);

}  // namespace core
