#include <gtest/gtest.h>

#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/web_page.hpp"

using namespace rt;

namespace {
std::string utf8(std::u8string_view s) { return {reinterpret_cast<const char*>(s.data()), s.size()}; }
}  // namespace

TEST(ClassifyAddress, KindsAndNormalisedText) {
    struct Case {
        std::wstring in;
        AddressKind kind;
        std::wstring text;
    };
    const Case cases[] = {
        {L"", AddressKind::Blank, L""},
        {L"   ", AddressKind::Blank, L""},
        {L"www.example.com", AddressKind::Web, L"http://www.example.com"},
        {L"  www.baidu.com/s?wd=1 ", AddressKind::Web, L"http://www.baidu.com/s?wd=1"},
        {L"localhost:8080/a", AddressKind::Web, L"http://localhost:8080/a"},
        {L"http://www.example.com/", AddressKind::Web, L"http://www.example.com/"},
        {L"HTTPS://x.cn", AddressKind::Web, L"HTTPS://x.cn"},
        {L"about:blank", AddressKind::Web, L"about:blank"},
        {L"C:\\小说\\小说文件", AddressKind::Local, L"C:\\小说\\小说文件"},
        {L"d:/书/index.htm", AddressKind::Local, L"d:\\书\\index.htm"},
        {L"Z:", AddressKind::Local, L"Z:"},
        {L"\\\\server\\share\\a.htm", AddressKind::Local, L"\\\\server\\share\\a.htm"},
        {L"file:///C:/My%20Books/%E5%B0%8F%E8%AF%B4.htm", AddressKind::Local, L"C:\\My Books\\小说.htm"},
        {L"file:///C|/a/b.html", AddressKind::Local, L"C:\\a\\b.html"},
        {L"FILE://server/share/x.htm", AddressKind::Local, L"\\\\server\\share\\x.htm"},
        {L"file:///C:/bad%zz", AddressKind::Local, L"C:\\bad%zz"},
    };
    for (const auto& c : cases) {
        WebAddress a = classifyAddress(c.in);
        EXPECT_EQ(a.kind, c.kind) << toUtf8(fromWide(c.in));
        EXPECT_EQ(a.text, c.text) << toUtf8(fromWide(c.in));
    }
}

TEST(IsPageName, HtmAndHtmlInAnyCaseOnly) {
    for (const wchar_t* yes : {L"index.htm", L"A.HTML", L"第一章.Htm", L"x.y.html"}) EXPECT_TRUE(isPageName(yes)) << yes;
    for (const wchar_t* no : {L"index", L"a.txt", L"a.htmx", L"a.ht", L"htm", L"a.htm.bak", L"a.shtml"}) {
        EXPECT_FALSE(isPageName(no)) << no;
    }
}

TEST(ReadPage, TheOfflinePageOfTheInstaller) {
    PageText page = readPage(readFile(std::string(PENLOOM_SOURCE_DIR) + "/installer/payload/index.htm"));
    EXPECT_EQ(page.title, L"无标题文档");
    EXPECT_EQ(page.text, L"没有连接互联网、无法获取更新程序");
    EXPECT_EQ(fromWide(page.title), gbk(u8"无标题文档"));
}

TEST(ReadPage, CharsetFromMarkDeclarationOrContent) {
    const std::string title = utf8(u8"第一章 风起");
    const std::string gbkTitle = gbk(u8"第一章 风起");
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"meta charset utf-8", "<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>x</body></html>"},
        {"http-equiv gb2312",
         "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gb2312\"><TITLE>" + gbkTitle + "</TITLE>x"},
        {"meta charset gbk unquoted", "<meta charset=GBK><title>" + gbkTitle + "</title>x"},
        {"meta charset gb18030", "<meta charset='gb18030' /><title>" + gbkTitle + "</title>x"},
        {"xml declaration", "<?xml version=\"1.0\" encoding=\"gbk\"?><html><title>" + gbkTitle + "</title>x"},
        {"undeclared valid utf-8", "<title>" + title + "</title>x"},
        {"undeclared gbk", "<title>" + gbkTitle + "</title>x"},
        {"utf-8 mark", "\xEF\xBB\xBF<title>" + title + "</title>x"},
        {"utf-8 mark beats a gbk declaration", "\xEF\xBB\xBF<meta charset=gbk><title>" + title + "</title>x"},
        {"unknown label falls back to content", "<meta charset=\"x-unknown\"><title>" + gbkTitle + "</title>x"},
    };
    for (const auto& c : cases) {
        PageText page = readPage(c.bytes);
        EXPECT_EQ(page.title, L"第一章 风起") << c.what;
        EXPECT_EQ(page.text, L"x") << c.what;
    }
}

TEST(ReadPage, Utf16WithMarks) {
    const std::u16string doc = u"<title>目录</title><p>正文😀</p>";
    std::string le = "\xFF\xFE", be = "\xFE\xFF";
    for (char16_t u : doc) {
        le.push_back(static_cast<char>(u & 0xFF));
        le.push_back(static_cast<char>(u >> 8));
        be.push_back(static_cast<char>(u >> 8));
        be.push_back(static_cast<char>(u & 0xFF));
    }
    std::wstring emoji;
    if constexpr (sizeof(wchar_t) == 2) emoji = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    else emoji = {static_cast<wchar_t>(0x1F600)};
    for (const std::string& bytes : {le, be}) {
        PageText page = readPage(bytes);
        EXPECT_EQ(page.title, L"目录");
        EXPECT_EQ(page.text, L"正文" + emoji);
    }
}

TEST(ReadPage, DeclaredUtf8WithBrokenBytesKeepsTheRest) {
    PageText page = readPage("<meta charset=utf-8><title>a\xC0\xAF" "b</title><p>\xED\xA0\x80" "c</p>");
    EXPECT_EQ(page.title, std::wstring(L"a") + static_cast<wchar_t>(0xFFFD) + static_cast<wchar_t>(0xFFFD) + L"b")
        << "an overlong '/' is two bad bytes, not a slash";
    ASSERT_FALSE(page.text.empty());
    EXPECT_EQ(page.text.back(), L'c');
    EXPECT_EQ(page.text.find(L'/'), std::wstring::npos);
}

TEST(ReadPage, TextWithoutTagsScriptsAndStyles) {
    struct Case {
        std::string html;
        std::wstring text;
    };
    const Case cases[] = {
        {"<body><h2>Title</h2><p>one</p><p>two</p></body>", L"Title\n\none\n\ntwo"},
        {"<div>a</div><div>b</div>", L"a\nb"},
        {"a<br>b<br/><br />c", L"a\nb\n\nc"},
        {"<p>  many \r\n\t spaces   here </p>", L"many spaces here"},
        {"<p>full\xE3\x80\x80\xE3\x80\x80width</p>", L"full\u3000\u3000width"},
        {"<script>var a = '<p>no</p>';</script><style>p{}</style>yes<!-- <p>no</p> -->!", L"yes!"},
        {"<SCRIPT type=x>if (a</b) x();</SCRIPT >ok", L"ok"},
        {"a &amp; b &lt;c&gt; &quot;d&quot; &#20013;&#x6587; &copy; &hellip;", L"a & b <c> \"d\" 中文 \u00A9 \u2026"},
        {"x&nbsp;&nbsp;y &unknown; &amp", L"x  y &unknown; &"},
        {"AT&T a &mdash b", L"AT&T a &mdash b"},
        {"1 < 2 and 3 <4", L"1 < 2 and 3 <4"},
        {"<a href=\"x.htm?a>b\" title='>'>link</a> text", L"link text"},
        {"<pre>  keep\n    this</pre>after", L"  keep\n    this\n\nafter"},
        {"<p>a</p><pre>\r\nb\n</pre>", L"a\n\nb"},
        {"<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>", L"a b\nc"},
        {"<ul><li>one<li>two</ul>end", L"one\ntwo\n\nend"},
        {"<!DOCTYPE html><?php echo 1 ?><p>a</p>", L"a"},
        {"<noscript>enable scripts</noscript><iframe src=x>inner</iframe>shown", L"shown"},
        {"<p>unclosed <b>tags", L"unclosed tags"},
        {"<p>a</p>   <p>  </p>  <p>b</p>", L"a\n\nb"},
        {"<script>never closed", L""},
        {"<!-- never closed", L""},
        {"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(readPage(c.html).text, c.text) << c.html;
}

TEST(ReadPage, TitleIsTheFirstOneCollapsedAndDecoded) {
    struct Case {
        std::string html;
        std::wstring title;
    };
    const Case cases[] = {
        {"<title>\n  a   b \n</title>", L"a b"},
        {"<title>&lt;b&gt; &amp; c</title>", L"<b> & c"},
        {"<title>one</title><title>two</title>", L"one"},
        {"<title><b>not a tag</b></title>", L"<b>not a tag</b>"},
        {"<title></title>x", L""},
        {"<p>no title</p>", L""},
        {"<TITLE>Upper</TITLE>", L"Upper"},
        {"<title>never closed", L"never closed"},
    };
    for (const auto& c : cases) EXPECT_EQ(readPage(c.html).title, c.title) << c.html;
    EXPECT_EQ(readPage("<title>t</title><p>body</p>").text, L"body") << "the title is not body text";
}
