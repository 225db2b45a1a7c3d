#include <gtest/gtest.h>

#include "runtime/text.hpp"

using namespace rt;

TEST(Gbk, ChineseLiteralsBecomeTwoBytesEach) {
    EXPECT_EQ(gbk(u8"内容"), std::string("\xC4\xDA\xC8\xDD"));
    EXPECT_EQ(gbk(u8"名称"), std::string("\xC3\xFB\xB3\xC6"));
    EXPECT_EQ(gbk(u8"a：b"), std::string("a\xA3\xBA" "b"));
}

TEST(Gbk, RoundTripsThroughWideAndUtf8) {
    const std::string text = gbk(u8"第一章 风起　青萍之末\r\nabc");
    EXPECT_EQ(fromWide(toWide(text)), text);
    EXPECT_EQ(toUtf8(text), std::string(reinterpret_cast<const char*>(u8"第一章 风起　青萍之末\r\nabc")));
    EXPECT_EQ(toWide(gbk(u8"码字")), std::wstring(L"\u7801\u5B57"));
}

TEST(Gbk, CharactersOutsideGbkBecomeQuestionMarks) {
    // An emoji has no GBK form; it must not vanish silently or break the text around it.
    std::string out = fromWide(std::wstring(L"a") + static_cast<wchar_t>(0x1F600) + L"b");
    ASSERT_GE(out.size(), 3u);
    EXPECT_EQ(out.front(), 'a');
    EXPECT_EQ(out.back(), 'b');
    EXPECT_NE(out.find('?'), std::string::npos);
}

TEST(NumberText, WholeRealsHaveNoDecimals) {
    struct Case { double value; const char* text; };
    for (auto c : {Case{0.0, "0"}, Case{42.0, "42"}, Case{-7.0, "-7"}, Case{1.5, "1.5"}, Case{1e6, "1000000"}}) {
        EXPECT_EQ(numberText(c.value), c.text) << c.value;
    }
    EXPECT_EQ(numberText(-2147483648LL), "-2147483648");
}

TEST(TrimLeadingSpaces, RemovesHalfAndFullWidthSpacesOnlyAtTheStart) {
    struct Case { std::string in, out; };
    const std::string full = gbk(u8"　");
    const std::string han = gbk(u8"章");
    for (const auto& c : {Case{"", ""}, Case{"   ", ""}, Case{"  a b ", "a b "}, Case{full + full + han, han},
                          Case{" " + full + " x", "x"}, Case{"\tx", "\tx"}, Case{han + " ", han + " "}}) {
        EXPECT_EQ(trimLeadingSpaces(c.in), c.out) << toUtf8(c.in);
    }
    // A lone A1 byte at the end is not a full-width space.
    EXPECT_EQ(trimLeadingSpaces("\xA1"), "\xA1");
}

TEST(ReplaceAll, ReplacesEveryOccurrenceAndNeverInsideACharacter) {
    EXPECT_EQ(replaceAll("a%b%%c", "%", "%%"), "a%%b%%%%c");
    EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(replaceAll("aaaa", "aa", "a"), "aa");
    // B5 41 is one character; the 'A' (0x41) inside it must not be replaced.
    EXPECT_EQ(replaceAll("\xB5\x41" "A", "A", "Z"), "\xB5\x41Z");
}

TEST(Split, KeepsEmptyPiecesAndTrailingPiece) {
    using V = std::vector<std::string>;
    EXPECT_EQ(split("a\r\nb\r\n\r\nc", "\r\n"), (V{"a", "b", "", "c"}));
    EXPECT_EQ(split("a\r\n", "\r\n"), (V{"a", ""}));
    EXPECT_EQ(split("", "\r\n"), V{});
    EXPECT_EQ(split("abc", ""), V{"abc"});
}

TEST(ByteOperations, SubTextSignedCodeSpacesCompare) {
    EXPECT_EQ(subText("abcdef", 2, 3), "cde");
    EXPECT_EQ(subText("abc", 2, 10), "c");
    EXPECT_EQ(subText("abc", 9, 1), "");
    EXPECT_EQ(signedByteCode("\xC4", 0), -60);
    EXPECT_EQ(signedByteCode("A", 0), 65);
    EXPECT_EQ(signedByteCode("A", 5), 0);
    EXPECT_EQ(spaces(4), "    ");
    EXPECT_EQ(spaces(-1), "");
    EXPECT_EQ(compareBytes("", ""), 0);
    EXPECT_LT(compareBytes("", " "), 0);
    EXPECT_GT(compareBytes("\xC4", "z"), 0);  // bytes compare unsigned
    EXPECT_EQ(byteLength(gbk(u8"章节")), 4u);
}

TEST(CutAtCharBoundary, NeverSplitsATwoByteCharacter) {
    const std::string han = gbk(u8"章");
    EXPECT_EQ(cutAtCharBoundary("a" + han + han, 2), "a");
    EXPECT_EQ(cutAtCharBoundary("a" + han + han, 3), "a" + han);
    EXPECT_EQ(cutAtCharBoundary("abc", 5), "abc");
    EXPECT_EQ(cutAtCharBoundary(han + "x", 0), "");
}
