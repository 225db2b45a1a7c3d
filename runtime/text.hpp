#pragma once
// GBK text: the system keeps all its texts as GBK bytes in std::string.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

// Code page 936 at the control boundary, the same whatever the user's locale is.
[[nodiscard]] std::wstring toWide(std::string_view gbk);
[[nodiscard]] std::string fromWide(std::wstring_view wide);
// Source literals are UTF-8; this turns one into GBK bytes.
[[nodiscard]] std::string gbk(std::string_view utf8);
[[nodiscard]] std::string gbk(std::u8string_view utf8);
[[nodiscard]] std::string toUtf8(std::string_view gbk);
void appendUtf8(std::string& out, char32_t codePoint);

// Decimal text; a whole real is written without decimals.
[[nodiscard]] std::string numberText(long long value);
[[nodiscard]] std::string numberText(double value);

// Leading half-width spaces (0x20) and full-width spaces (GBK A1 A1) are removed.
[[nodiscard]] std::string trimLeadingSpaces(std::string_view text);
[[nodiscard]] std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);
// An empty delimiter gives the text as one piece; an empty text gives no pieces.
[[nodiscard]] std::vector<std::string> split(std::string_view text, std::string_view delimiter);
[[nodiscard]] inline std::size_t byteLength(std::string_view text) { return text.size(); }
// Bytes [start, start + length) clipped to the text; start counts from 0.
[[nodiscard]] std::string subText(std::string_view text, std::size_t start, std::size_t length);
// The byte at pos as a signed value (-128..127); 0 past the end.
[[nodiscard]] int signedByteCode(std::string_view text, std::size_t pos);
[[nodiscard]] std::string spaces(int count);
// Byte-wise comparison: negative, zero or positive.
[[nodiscard]] int compareBytes(std::string_view a, std::string_view b);

// Cuts a GBK text to at most maxBytes without splitting a two-byte character.
[[nodiscard]] std::string cutAtCharBoundary(std::string_view text, std::size_t maxBytes);

}  // namespace rt
