#include "runtime/text.hpp"

#include <cmath>
#include <cstdio>

namespace rt {

std::string gbk(std::string_view utf8) {
    // Through UTF-16, as the rest of the boundary conversions go.
    std::wstring wide;
    wide.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        if (i + len > utf8.size()) len = 1;
        if (len == 1) cp = c < 0x80 ? c : 0xFFFD;
        else {
            cp = c & (0x7F >> len);
            for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            wide.push_back(static_cast<wchar_t>(cp));
        }
    }
    return fromWide(wide);
}

std::string gbk(std::u8string_view utf8) {
    return gbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string toUtf8(std::string_view gbkText) {
    std::wstring wide = toWide(gbkText);
    std::string out;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char32_t cp = static_cast<char16_t>(wide[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < wide.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::string numberText(long long value) { return std::to_string(value); }

std::string numberText(double value) {
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e18) {
        return std::to_string(static_cast<long long>(value));
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", value);
    return buf;
}

std::string trimLeadingSpaces(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') ++i;
        else if (i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1 &&
                 static_cast<unsigned char>(text[i + 1]) == 0xA1) i += 2;
        else break;
    }
    return std::string(text.substr(i));
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    // Step over whole GBK characters so a match never starts on a trail byte.
    while (pos < text.size()) {
        if (text.compare(pos, from.size(), from) == 0) {
            out.append(to);
            pos += from.size();
        } else {
            std::size_t step = (static_cast<unsigned char>(text[pos]) >= 0x80 && pos + 1 < text.size()) ? 2 : 1;
            out.append(text.substr(pos, step));
            pos += step;
        }
    }
    return out;
}

std::vector<std::string> split(std::string_view text, std::string_view delimiter) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    if (delimiter.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t start = 0;
    for (;;) {
        std::size_t hit = text.find(delimiter, start);
        if (hit == std::string_view::npos) break;
        pieces.emplace_back(text.substr(start, hit - start));
        start = hit + delimiter.size();
    }
    pieces.emplace_back(text.substr(start));
    return pieces;
}

std::string subText(std::string_view text, std::size_t start, std::size_t length) {
    if (start >= text.size()) return {};
    return std::string(text.substr(start, length));
}

int signedByteCode(std::string_view text, std::size_t pos) {
    if (pos >= text.size()) return 0;
    return static_cast<signed char>(text[pos]);
}

std::string spaces(int count) { return std::string(count > 0 ? static_cast<std::size_t>(count) : 0, ' '); }

int compareBytes(std::string_view a, std::string_view b) {
    // unsigned comparison, as bytes
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::string cutAtCharBoundary(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t i = 0;
    while (i < maxBytes) {
        std::size_t step = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
        if (i + step > maxBytes) break;
        i += step;
    }
    return std::string(text.substr(0, i));
}

}  // namespace rt
