#include "runtime/web_page.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "runtime/text.hpp"

namespace rt {

namespace {

bool isAsciiSpace(char32_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isAsciiAlpha(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char32_t c) { return c >= '0' && c <= '9'; }
char32_t lower(char32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

int hexValue(wchar_t c) {
    auto ch = lower(static_cast<char32_t>(c));
    return isAsciiDigit(ch) ? static_cast<int>(ch - '0') : ch >= 'a' && ch <= 'f' ? static_cast<int>(ch - 'a' + 10) : -1;
}

bool startsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(static_cast<char32_t>(text[i])) != lower(static_cast<char32_t>(prefix[i]))) return false;
    }
    return true;
}

// Windows keeps UTF-16 in wchar_t; native builds keep whole code points.
void appendCodePoint(std::wstring& out, char32_t cp) {
    if constexpr (sizeof(wchar_t) == 2) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
            return;
        }
    }
    out.push_back(static_cast<wchar_t>(cp));
}

// Strict UTF-8: overlong forms, surrogates and values past U+10FFFF count as invalid and become U+FFFD.
std::wstring decodeUtf8(std::string_view bytes, bool* valid) {
    std::wstring out;
    out.reserve(bytes.size());
    bool ok = true;
    for (std::size_t i = 0; i < bytes.size();) {
        auto b = static_cast<unsigned char>(bytes[i]);
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool good = len > 0 && i + len <= bytes.size();
        for (std::size_t k = 1; good && k < len; ++k) {
            auto c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) good = false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (good) {
            static constexpr std::array<char32_t, 5> kMinimum{0, 0, 0x80, 0x800, 0x10000};
            good = cp >= kMinimum[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        }
        if (!good) {
            ok = false;
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
            continue;
        }
        appendCodePoint(out, cp);
        i += len;
    }
    if (valid) *valid = ok;
    return out;
}

std::wstring decodeUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        char32_t unit = bigEndian ? (a << 8 | b) : (b << 8 | a);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
            auto c = static_cast<unsigned char>(bytes[i + 2]), d = static_cast<unsigned char>(bytes[i + 3]);
            char32_t low = bigEndian ? (c << 8 | d) : (d << 8 | c);
            if (low >= 0xDC00 && low < 0xE000) {
                appendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        appendCodePoint(out, unit);
    }
    return out;
}

enum class Charset { Unknown, Utf8, Gbk };

Charset charsetOfLabel(std::string_view label) {
    static constexpr std::string_view kUtf8[] = {"utf-8", "utf8", "unicode-1-1-utf-8"};
    static constexpr std::string_view kGbk[] = {"gbk",     "gb2312",  "gb_2312", "gb_2312-80", "gb18030",  "x-gbk",
                                                "cp936",   "windows-936", "chinese", "csgb2312", "iso-ir-58", "euc-cn"};
    if (std::find(std::begin(kUtf8), std::end(kUtf8), label) != std::end(kUtf8)) return Charset::Utf8;
    if (std::find(std::begin(kGbk), std::end(kGbk), label) != std::end(kGbk)) return Charset::Gbk;
    return Charset::Unknown;
}

// The value after `key` = in a tag, quotes and spaces skipped, lower case.
std::string valueAfter(std::string_view tag, std::string_view key) {
    for (std::size_t at = tag.find(key); at != std::string_view::npos; at = tag.find(key, at + 1)) {
        std::size_t i = at + key.size();
        while (i < tag.size() && isAsciiSpace(static_cast<unsigned char>(tag[i]))) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && (isAsciiSpace(static_cast<unsigned char>(tag[i])) || tag[i] == '"' || tag[i] == '\'')) ++i;
        std::string value;
        while (i < tag.size()) {
            char c = tag[i];
            bool keep = isAsciiAlpha(static_cast<unsigned char>(c)) || isAsciiDigit(static_cast<unsigned char>(c)) ||
                        c == '-' || c == '_' || c == '.' || c == ':';
            if (!keep) break;
            value.push_back(static_cast<char>(lower(static_cast<unsigned char>(c))));
            ++i;
        }
        if (!value.empty()) return value;
    }
    return {};
}

// Browsers look for the declaration near the start only; 4 KB leaves room for long heads.
Charset declaredCharset(std::string_view bytes) {
    std::string head(bytes.substr(0, 4096));
    for (char& c : head) c = static_cast<char>(lower(static_cast<unsigned char>(c)));
    if (head.starts_with("<?xml")) {
        std::size_t end = head.find("?>");
        Charset c = charsetOfLabel(valueAfter(std::string_view(head).substr(0, end), "encoding"));
        if (c != Charset::Unknown) return c;
    }
    for (std::size_t at = head.find("<meta"); at != std::string::npos; at = head.find("<meta", at + 5)) {
        std::size_t end = head.find('>', at);
        Charset c = charsetOfLabel(valueAfter(std::string_view(head).substr(at, end == std::string::npos ? end : end - at), "charset"));
        if (c != Charset::Unknown) return c;
    }
    return Charset::Unknown;
}

std::wstring decodeDocument(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) return decodeUtf8(bytes.substr(3), nullptr);
    if (bytes.starts_with("\xFF\xFE")) return decodeUtf16(bytes.substr(2), false);
    if (bytes.starts_with("\xFE\xFF")) return decodeUtf16(bytes.substr(2), true);
    switch (declaredCharset(bytes)) {
        case Charset::Utf8: return decodeUtf8(bytes, nullptr);
        case Charset::Gbk: return toWide(bytes);
        case Charset::Unknown: break;
    }
    bool valid = false;
    std::wstring asUtf8 = decodeUtf8(bytes, &valid);
    return valid ? asUtf8 : toWide(bytes);
}

struct NamedEntity {
    std::wstring_view name;
    char32_t value;
};

constexpr NamedEntity kEntities[] = {
    {L"amp", '&'},       {L"lt", '<'},         {L"gt", '>'},         {L"quot", '"'},       {L"apos", '\''},
    {L"nbsp", 0xA0},     {L"copy", 0xA9},      {L"reg", 0xAE},       {L"trade", 0x2122},   {L"middot", 0xB7},
    {L"times", 0xD7},    {L"divide", 0xF7},    {L"yen", 0xA5},       {L"laquo", 0xAB},     {L"raquo", 0xBB},
    {L"ndash", 0x2013},  {L"mdash", 0x2014},   {L"lsquo", 0x2018},   {L"rsquo", 0x2019},   {L"ldquo", 0x201C},
    {L"rdquo", 0x201D},  {L"hellip", 0x2026},  {L"bull", 0x2022},    {L"ensp", 0x2002},    {L"emsp", 0x2003},
    {L"thinsp", 0x2009}, {L"deg", 0xB0},       {L"plusmn", 0xB1},    {L"sect", 0xA7},      {L"para", 0xB6},
};

// Decodes the reference at text[i] == '&'; returns the characters it takes, 0 when it is none.
std::size_t decodeEntity(std::wstring_view text, std::size_t i, char32_t& value) {
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '#') {
        ++j;
        bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
        if (hex) ++j;
        std::uint32_t v = 0;
        std::size_t digits = 0;
        for (; j < text.size(); ++j, ++digits) {
            int d = hexValue(text[j]);
            if (d < 0 || (!hex && d > 9)) break;
            if (v <= 0x10FFFF) v = v * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
        }
        if (digits == 0) return 0;
        if (j < text.size() && text[j] == ';') ++j;
        value = v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF) ? 0xFFFD : v;
        return j - i;
    }
    std::size_t start = j;
    while (j < text.size() && j - start < 10 && (isAsciiAlpha(static_cast<char32_t>(text[j])) || isAsciiDigit(static_cast<char32_t>(text[j])))) ++j;
    std::wstring_view name = text.substr(start, j - start);
    bool terminated = j < text.size() && text[j] == ';';
    for (const auto& e : kEntities) {
        if (e.name != name) continue;
        // The five oldest references are honoured without the semicolon, as browsers do.
        if (!terminated && e.value > 0xFF) return 0;
        value = e.value;
        return j - i + (terminated ? 1 : 0);
    }
    return 0;
}

// Elements whose content is not page text, or is the title; their end tag closes them whatever lies inside.
bool isRawElement(std::wstring_view name) {
    return name == L"script" || name == L"style" || name == L"title" || name == L"noscript" || name == L"template" ||
           name == L"iframe" || name == L"object";
}

// 2: a blank line around it; 1: it starts on a line of its own; 0: inline.
int breakOf(std::wstring_view name) {
    static constexpr std::wstring_view kParagraphs[] = {L"p",  L"h1", L"h2",    L"h3",         L"h4",  L"h5",
                                                        L"h6", L"ul", L"ol",    L"dl",         L"pre", L"table",
                                                        L"hr", L"blockquote", L"form", L"fieldset"};
    static constexpr std::wstring_view kLines[] = {L"div",     L"li",     L"tr",     L"dt",      L"dd",     L"body",
                                                   L"section", L"article", L"header", L"footer", L"nav",    L"aside",
                                                   L"main",    L"address", L"center", L"figure", L"figcaption",
                                                   L"caption", L"option",  L"legend", L"html",   L"tbody",  L"thead"};
    if (std::find(std::begin(kParagraphs), std::end(kParagraphs), name) != std::end(kParagraphs)) return 2;
    if (std::find(std::begin(kLines), std::end(kLines), name) != std::end(kLines)) return 1;
    return 0;
}

// Collects visible text: runs of ASCII white space become one space, except inside <pre>.
class TextBuilder {
public:
    void character(char32_t c, bool fromReference = false) {
        if (!fromReference && preDepth_ == 0 && isAsciiSpace(c)) {
            pendingSpace_ = true;
            return;
        }
        if (!fromReference && preDepth_ > 0 && (c == '\r' || c == '\n')) {
            if (c == '\n') out_.push_back(L'\n');
            pendingSpace_ = false;
            return;
        }
        if (pendingSpace_ && !out_.empty() && out_.back() != L'\n') out_.push_back(L' ');
        pendingSpace_ = false;
        appendCodePoint(out_, c);
    }
    // At least `lines` line ends before what follows; none at the very start.
    void breakLines(int lines) {
        pendingSpace_ = false;
        if (out_.empty()) return;
        int have = 0;
        for (auto it = out_.rbegin(); it != out_.rend() && *it == L'\n'; ++it) ++have;
        for (; have < lines; ++have) out_.push_back(L'\n');
    }
    void forcedBreak() {
        pendingSpace_ = false;
        out_.push_back(L'\n');
    }
    void separate() { pendingSpace_ = true; }
    void enterPre(bool enter) { preDepth_ += enter ? 1 : (preDepth_ > 0 ? -1 : 0); }

    std::wstring finish() {
        std::wstring result;
        std::size_t lineStart = 0;
        for (wchar_t c : out_) {
            if (c == L'\n') {
                while (result.size() > lineStart && (result.back() == L' ' || result.back() == L'\t')) result.pop_back();
                result.push_back(L'\n');
                lineStart = result.size();
            } else {
                result.push_back(c == static_cast<wchar_t>(0xA0) ? L' ' : c);
            }
        }
        while (!result.empty() && (result.back() == L'\n' || result.back() == L' ' || result.back() == L'\t')) result.pop_back();
        while (!result.empty() && result.front() == L'\n') result.erase(0, 1);
        return result;
    }

private:
    std::wstring out_;
    bool pendingSpace_ = false;
    int preDepth_ = 0;
};

std::wstring collapsedText(std::wstring_view raw) {
    TextBuilder b;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char32_t v = 0;
        if (raw[i] == L'&') {
            if (std::size_t n = decodeEntity(raw, i, v)) {
                b.character(v, true);
                i += n - 1;
                continue;
            }
        }
        b.character(static_cast<char32_t>(raw[i]));
    }
    return b.finish();
}

// End of the tag starting at text[i] == '<': the index after its '>', quoted attribute values skipped.
std::size_t tagEnd(std::wstring_view text, std::size_t i) {
    wchar_t previous = 0;
    for (std::size_t j = i + 1; j < text.size(); ++j) {
        wchar_t c = text[j];
        if ((c == L'"' || c == L'\'') && previous == L'=') {
            std::size_t close = text.find(c, j + 1);
            if (close == std::wstring_view::npos) return text.size();
            j = close;
            previous = c;
            continue;
        }
        if (c == L'>') return j + 1;
        if (!isAsciiSpace(static_cast<char32_t>(c))) previous = c;
    }
    return text.size();
}

// Index of the end tag </name> from `from`, or the end of the text.
std::size_t findEndTag(std::wstring_view text, std::size_t from, std::wstring_view name) {
    for (std::size_t at = text.find(L"</", from); at != std::wstring_view::npos; at = text.find(L"</", at + 2)) {
        std::wstring_view rest = text.substr(at + 2);
        if (startsWithNoCase(rest, name) &&
            (rest.size() == name.size() || !isAsciiAlpha(static_cast<char32_t>(rest[name.size()])))) {
            return at;
        }
    }
    return text.size();
}

}  // namespace

WebAddress classifyAddress(std::wstring_view address) {
    while (!address.empty() && isAsciiSpace(static_cast<char32_t>(address.front()))) address.remove_prefix(1);
    while (!address.empty() && isAsciiSpace(static_cast<char32_t>(address.back()))) address.remove_suffix(1);
    if (address.empty()) return {};

    auto localPath = [](std::wstring_view path) {
        std::wstring p(path);
        std::replace(p.begin(), p.end(), L'/', L'\\');
        return WebAddress{AddressKind::Local, p};
    };
    bool drive = address.size() >= 2 && isAsciiAlpha(static_cast<char32_t>(address[0])) && address[1] == L':' &&
                 (address.size() == 2 || address[2] == L'\\' || address[2] == L'/');
    if (drive || address.starts_with(L"\\\\") || address.starts_with(L"//")) return localPath(address);

    if (startsWithNoCase(address, L"file:")) {
        std::wstring_view rest = address.substr(5);
        while (rest.starts_with(L"/")) rest.remove_prefix(1);
        bool hasDrive = rest.size() >= 2 && isAsciiAlpha(static_cast<char32_t>(rest[0])) && (rest[1] == L':' || rest[1] == L'|');
        // Percent escapes are UTF-8 bytes; the rest of the address is kept as it is.
        std::string bytes;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            int high = i + 2 < rest.size() && rest[i] == L'%' ? hexValue(rest[i + 1]) : -1;
            int low = high >= 0 ? hexValue(rest[i + 2]) : -1;
            if (low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 2;
            } else {
                auto cp = static_cast<char32_t>(rest[i]);
                if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < rest.size()) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(rest[++i]) - 0xDC00);
                }
                rt::appendUtf8(bytes, cp);
            }
        }
        std::wstring path = decodeUtf8(bytes, nullptr);
        if (hasDrive) {
            path[1] = L':';
            return localPath(path);
        }
        return localPath(L"\\\\" + path);
    }

    // A scheme is letters then ':'; "host:8080" is a host with a port, not a scheme.
    std::size_t colon = address.find(L':');
    if (colon != std::wstring_view::npos && colon >= 2 && isAsciiAlpha(static_cast<char32_t>(address[0]))) {
        bool scheme = std::all_of(address.begin(), address.begin() + static_cast<std::ptrdiff_t>(colon), [](wchar_t c) {
            auto ch = static_cast<char32_t>(c);
            return isAsciiAlpha(ch) || isAsciiDigit(ch) || ch == '+' || ch == '-' || ch == '.';
        });
        bool port = colon + 1 < address.size() && isAsciiDigit(static_cast<char32_t>(address[colon + 1]));
        if (scheme && !port) return {AddressKind::Web, std::wstring(address)};
    }
    return {AddressKind::Web, L"http://" + std::wstring(address)};
}

bool isPageName(std::wstring_view fileName) {
    std::size_t dot = fileName.rfind(L'.');
    if (dot == std::wstring_view::npos) return false;
    std::wstring_view ext = fileName.substr(dot + 1);
    return (ext.size() == 3 || ext.size() == 4) && startsWithNoCase(ext, ext.size() == 3 ? L"htm" : L"html");
}

PageText readPage(std::string_view bytes) {
    std::wstring doc = decodeDocument(bytes);
    std::wstring_view text = doc;
    PageText page;
    bool titleSeen = false;
    TextBuilder body;
    for (std::size_t i = 0; i < text.size();) {
        wchar_t c = text[i];
        if (c == L'&') {
            char32_t v = 0;
            if (std::size_t n = decodeEntity(text, i, v)) {
                body.character(v, true);
                i += n;
                continue;
            }
        }
        if (c != L'<') {
            char32_t cp = static_cast<char32_t>(c);
            if constexpr (sizeof(wchar_t) == 2) {
                if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[i + 1]) - 0xDC00);
                    ++i;
                }
            }
            body.character(cp);
            ++i;
            continue;
        }
        std::wstring_view rest = text.substr(i);
        if (rest.starts_with(L"<!--")) {
            std::size_t end = text.find(L"-->", i + 4);
            i = end == std::wstring_view::npos ? text.size() : end + 3;
            continue;
        }
        if (rest.starts_with(L"<!") || rest.starts_with(L"<?")) {
            std::size_t end = text.find(L'>', i);
            i = end == std::wstring_view::npos ? text.size() : end + 1;
            continue;
        }
        bool closing = rest.starts_with(L"</");
        std::size_t nameStart = i + (closing ? 2 : 1);
        if (nameStart >= text.size() || !isAsciiAlpha(static_cast<char32_t>(text[nameStart]))) {
            body.character('<');  // a lone '<' is text
            ++i;
            continue;
        }
        std::size_t nameEnd = nameStart;
        std::wstring name;
        while (nameEnd < text.size() &&
               (isAsciiAlpha(static_cast<char32_t>(text[nameEnd])) || isAsciiDigit(static_cast<char32_t>(text[nameEnd])) || text[nameEnd] == L'-')) {
            name.push_back(static_cast<wchar_t>(lower(static_cast<char32_t>(text[nameEnd]))));
            ++nameEnd;
        }
        std::size_t end = tagEnd(text, i);
        bool selfClosing = end >= 2 && text[end - 2] == L'/';
        i = end;
        if (!closing && isRawElement(name)) {
            std::size_t close = findEndTag(text, i, name);
            if (name == L"title" && !titleSeen) {
                page.title = collapsedText(text.substr(i, close - i));
                titleSeen = true;
            }
            i = close < text.size() ? tagEnd(text, close) : close;
            continue;
        }
        if (name == L"br") {
            body.forcedBreak();
        } else if (name == L"pre" && !selfClosing) {
            body.breakLines(2);
            body.enterPre(!closing);
            // A line end right after <pre> is part of the markup, not of the text.
            if (!closing && i < text.size() && text[i] == L'\r') ++i;
            if (!closing && i < text.size() && text[i] == L'\n') ++i;
        } else if (name == L"td" || name == L"th") {
            body.separate();
        } else if (int lines = breakOf(name)) {
            body.breakLines(lines);
        }
    }
    page.text = body.finish();
    return page;
}

}  // namespace rt
