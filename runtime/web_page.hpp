#pragma once
// What the web view makes of an address, and the readable part of a local HTML page.
// Wide text: the view shows it through wide controls; titles go out as GBK at the edge.
#include <string>
#include <string_view>

namespace rt {

enum class AddressKind {
    Blank,  // empty address
    Web,    // anything with a scheme, or a bare host name given http://
    Local,  // a drive or network path, or a file: address turned into one
};

struct WebAddress {
    AddressKind kind = AddressKind::Blank;
    std::wstring text;  // normalised: "http://" added to bare hosts, backslashes in local paths
};

[[nodiscard]] WebAddress classifyAddress(std::wstring_view address);

// .htm and .html, in any letter case.
[[nodiscard]] bool isPageName(std::wstring_view fileName);

struct PageText {
    std::wstring title;  // first <title>, entities decoded, white space collapsed
    std::wstring text;   // body text without tags; lines end in '\n'
};

// The bytes of an HTML file. Charset from a byte-order mark, else a <meta> or XML declaration
// (gbk/gb2312/gb18030 read as GBK, utf-8 as UTF-8), else UTF-8 when the bytes are valid UTF-8, else GBK.
[[nodiscard]] PageText readPage(std::string_view bytes);

}  // namespace rt
