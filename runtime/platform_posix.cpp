// Native builds: code page 936 through iconv, local time through localtime_r.
#include <iconv.h>

#include <cerrno>
#include <ctime>

#include "runtime/datetime.hpp"
#include "runtime/text.hpp"

namespace rt {

namespace {
std::string convert(const char* to, const char* from, const char* data, std::size_t size, std::size_t unit,
                    std::string_view replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(size * 2 + 8, '\0');
    char* in = const_cast<char*>(data);
    std::size_t inLeft = size, outUsed = 0;
    while (inLeft > 0) {
        if (out.size() - outUsed < 16) out.resize(out.size() * 2);
        char* dst = out.data() + outUsed;
        std::size_t outLeft = out.size() - outUsed;
        std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        outUsed = out.size() - outLeft;
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) { out.resize(out.size() * 2); continue; }
            // Unconvertible input becomes '?', as WideCharToMultiByte's default does; skip one unit.
            std::size_t skip = inLeft < unit ? inLeft : unit;
            in += skip;
            inLeft -= skip;
            if (out.size() - outUsed < replacement.size()) out.resize(out.size() * 2);
            out.replace(outUsed, replacement.size(), replacement);
            outUsed += replacement.size();
        }
    }
    iconv_close(cd);
    out.resize(outUsed);
    return out;
}
}  // namespace

std::wstring toWide(std::string_view gbkText) {
    std::string utf32 = convert("UTF-32LE", "CP936", gbkText.data(), gbkText.size(), 1,
                                std::string_view("?\0\0\0", 4));
    std::wstring out;
    for (std::size_t i = 0; i + 4 <= utf32.size(); i += 4) {
        char32_t cp = static_cast<unsigned char>(utf32[i]) | static_cast<unsigned char>(utf32[i + 1]) << 8 |
                      static_cast<unsigned char>(utf32[i + 2]) << 16 |
                      static_cast<char32_t>(static_cast<unsigned char>(utf32[i + 3])) << 24;
        out.push_back(static_cast<wchar_t>(cp));
    }
    return out;
}

std::string fromWide(std::wstring_view wide) {
    // wchar_t is 32-bit here; go through UTF-16 so surrogate pairs from Windows-shaped data work too.
    std::u16string utf16;
    for (wchar_t c : wide) {
        char32_t cp = static_cast<char32_t>(c);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            utf16.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            utf16.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            utf16.push_back(static_cast<char16_t>(cp));
        }
    }
    std::string out = convert("CP936", "UTF-16LE", reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2, 2, "?");
    return out;
}

LocalDateTime systemNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace rt
