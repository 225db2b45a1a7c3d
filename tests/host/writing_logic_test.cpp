#include <gtest/gtest.h>

#include "app/core/writing_logic.hpp"
#include "runtime/text.hpp"

using namespace core;
using rt::gbk;

TEST(CountCharacters, FollowsTheSpaceLineBreakAndLeadByteRules) {
    struct Case {
        std::string text;
        std::size_t count;
    };
    const Case cases[] = {
        {"", 0},
        {"   \r\n  \r\n", 0},
        {"a b", 2},
        {gbk(u8"风起"), 2},
        {gbk(u8"　"), 1},                 // a full-width space counts
        {"\t", 1},
        {"ab\x80", 3},                    // a lone lead byte at the end counts once
        {"\x80" "ab", 2},                 // a lead byte takes whatever follows it
        {"\x80 a", 1},                    // spaces go before the walk, so the lead byte pairs with a
        {"\x80\r\na", 1},                 // and so do CR LF pairs
        {"\r \n", 0},                     // removing the space makes a pair
        {"\r\r\n\n", 2},                  // one pass: the pair in the middle goes, CR and LF stay
        {"a\rb\nc", 5},                   // lone CR and LF count
        {gbk(u8"第一章　风起\r\n    青萍之末。"), 11},
    };
    for (const auto& c : cases) EXPECT_EQ(countCharacters(c.text), c.count) << rt::toUtf8(c.text);
}

TEST(CountCharacters, MatchesTheThreeStepsOnRandomBytes) {
    // The three steps written out literally on bytes, against the one-pass count.
    auto removeBytes = [](std::string s, const std::string& what) {
        for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at)) s.erase(at, what.size());
        return s;
    };
    auto literal = [&](const std::string& text) {
        std::string s = removeBytes(removeBytes(text, " "), "\r\n");
        std::size_t n = 0;
        for (std::size_t i = 0; i < s.size(); ++i, ++n) {
            if (static_cast<unsigned char>(s[i]) >= 0x80) ++i;
        }
        return n;
    };
    const char alphabet[] = {' ', '\r', '\n', 'a', '\x80', '\xB0', '\xA1'};
    unsigned x = 12345;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (int i = 0; i < round % 23; ++i) {
            x = x * 1103515245u + 12345u;
            text += alphabet[(x >> 16) % sizeof alphabet];
        }
        ASSERT_EQ(countCharacters(text), literal(text)) << round << " " << ::testing::PrintToString(text);
    }
}

TEST(LayoutForSize, MatchesTheThousandBySevenHundredExample) {
    auto l = layoutForSize(1000, 700, {.group = 152, .close = 40, .minimise = 40});
    EXPECT_EQ(l.editorWidth, 691);
    EXPECT_EQ(l.editorHeight, 635);
    EXPECT_EQ(l.splitterHeight, 645);
    EXPECT_EQ(l.listHeight, 578);
    EXPECT_EQ(l.groupLeft, 823);
    EXPECT_EQ(l.closeLeft, 940);
    EXPECT_EQ(l.minimiseLeft, 900);
    EXPECT_EQ(clockLabelLeft(1000, 160), 840);
}

TEST(LayoutForSize, ClampsSizesOfATinyWindowToZeroButKeepsLefts) {
    auto l = layoutForSize(100, 60, {.group = 152, .close = 40, .minimise = 40});
    EXPECT_EQ(l.editorWidth, 0);
    EXPECT_EQ(l.editorHeight, 0);
    EXPECT_EQ(l.splitterHeight, 5);
    EXPECT_EQ(l.listHeight, 0);
    EXPECT_EQ(l.groupLeft, -77);
    EXPECT_EQ(l.closeLeft, 40);
}

TEST(LayoutForSplitter, ClampsTheTargetAndPlacesTheColumns) {
    const ColumnLefts lefts{.list = 4, .name = 3, .splitterWidth = 8};
    struct Case {
        int P, W;
        ColumnLayout want;
    };
    const Case cases[] = {
        {117, 810, {117, 111, 112, 126, 504}},  // the design place
        {3, 1000, {8, 2, 3, 17, 803}},          // too far left: 8
        {-50, 1000, {8, 2, 3, 17, 803}},
        {990, 1000, {980, 974, 975, 989, 0}},   // beyond W - 20: W - 20, editor width clamped
        {300, 1000, {300, 294, 295, 309, 511}},  // list P - 6, name P - 5, editor P + 9 and W - 189 - P
        {10, 20, {0, 0, 0, 9, 0}},              // W - 20 below 8 wins
    };
    for (const auto& c : cases) {
        auto got = layoutForSplitter(c.P, c.W, lefts);
        EXPECT_EQ(got.splitterLeft, c.want.splitterLeft) << c.P << " in " << c.W;
        EXPECT_EQ(got.listWidth, c.want.listWidth) << c.P << " in " << c.W;
        EXPECT_EQ(got.nameWidth, c.want.nameWidth) << c.P << " in " << c.W;
        EXPECT_EQ(got.editorLeft, c.want.editorLeft) << c.P << " in " << c.W;
        EXPECT_EQ(got.editorWidth, c.want.editorWidth) << c.P << " in " << c.W;
    }
}

TEST(ChapterFileName, KeepsOrdinaryNamesAsTyped) {
    for (const char8_t* name : {u8"第一章 风起", u8"  开头有空格", u8"   ", u8"Chapter 1.v2", u8"CONTENT", u8"COM10", u8"LPT"}) {
        const std::string n = gbk(name);
        EXPECT_EQ(chapterFileName(n), n + ".txt") << rt::toUtf8(n);
    }
}

TEST(ChapterFileName, ReplacesForbiddenCharactersByFullWidthForms) {
    struct Case {
        const char8_t* name;
        const char8_t* file;
    };
    const Case cases[] = {
        {u8"a\\b/c:d*e?f\"g<h>i|j", u8"a＼b／c：d＊e？f＂g＜h＞i｜j.txt"},
        {u8"..\\..\\evil", u8"..＼..＼evil.txt"},
        {u8"C:\\x", u8"C：＼x.txt"},
        {u8"第\t一\x01章", u8"第　一　章.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(chapterFileName(gbk(c.name)), gbk(c.file)) << rt::toUtf8(gbk(c.name));
}

TEST(ChapterFileName, LeavesTrailBytesThatLookLikeSeparatorsInTheirCharacter) {
    // 0x81 0x5C and 0x81 0x7C are whole GBK characters whose second byte is '\' and '|'.
    const std::string name = "\x81\x5C\x81\x7C" "a";
    EXPECT_EQ(chapterFileName(name), name + ".txt");
    // A lead byte without a valid trail byte is a character of its own; the '/' after it still goes.
    EXPECT_EQ(chapterFileName("\x81/"), "\x81" + gbk(u8"／") + ".txt");
    EXPECT_EQ(chapterFileName("ab\x81"), "ab\x81.txt");
}

TEST(ChapterFileName, PrefixesReservedDeviceNames) {
    for (const char* name : {"CON", "con", "Prn", "AUX", "NUL", "COM1", "com9", "LPT1", "lpt9", "COM0", "NUL.txt",
                             "con.tar.gz", "AUX  ", "CON .x", "CONIN$", "conout$"}) {
        EXPECT_EQ(chapterFileName(name), gbk(u8"＿") + name + ".txt") << name;
    }
    // After the mapping, "CON:" is no longer a device name.
    EXPECT_EQ(chapterFileName("CON:"), "CON" + gbk(u8"：") + ".txt");
}

TEST(ClockCaptions, ReadTheExampleWithoutLeadingZeros) {
    const rt::LocalDateTime t{.year = 2014, .month = 1, .day = 5, .hour = 9, .minute = 5, .second = 3};
    EXPECT_EQ(dateCaption(t), gbk(u8"日期：2014年1月5日"));
    EXPECT_EQ(hourCaption(t), gbk(u8"时：9"));
    EXPECT_EQ(minuteCaption(t), gbk(u8"分：5"));
    EXPECT_EQ(secondCaption(t), gbk(u8"秒：3"));
    const rt::LocalDateTime midnight{.year = 2000, .month = 12, .day = 31};
    EXPECT_EQ(hourCaption(midnight), gbk(u8"时：0"));
    EXPECT_EQ(dateCaption(midnight), gbk(u8"日期：2000年12月31日"));
}

TEST(TakeFromFontDialog, CopiesFaceStrikeoutUnderlineSizeAndBoldOnly) {
    const EditorFont editor{.face = gbk(u8"宋体"), .pointTenths = 120, .italic = false, .escapement = 0};
    const EditorFont dialog{.face = "Arial", .pointTenths = 205, .bold = true, .italic = true, .underline = true,
                          .strikeout = true, .escapement = 900};
    const EditorFont got = takeFromFontDialog(editor, dialog);
    EXPECT_EQ(got, (EditorFont{.face = "Arial", .pointTenths = 205, .bold = true, .italic = false, .underline = true,
                             .strikeout = true, .escapement = 0}));
    // Turning effects off reaches the editor as well.
    EXPECT_EQ(takeFromFontDialog(got, editor), editor);
}
