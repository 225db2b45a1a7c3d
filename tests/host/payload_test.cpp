// The installer's payload files, checked against their bytes written out independently here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/files.hpp"

namespace {
std::string payload(const char* name) {
    return rt::readFile(rt::fs::path(PENLOOM_SOURCE_DIR) / "installer" / "payload" / name);
}
std::string zeros(std::size_t n) { return std::string(n, '\0'); }
void put(std::string& s, std::size_t at, std::vector<unsigned char> bytes) {
    for (unsigned char b : bytes) s[at++] = static_cast<char>(b);
}
}  // namespace

TEST(Payload, BlankStoreMainFile) {
    std::string want = zeros(780);
    put(want, 0, {0x57, 0x45, 0x44, 0x42});
    put(want, 4, {0x00, 0x00, 0x01, 0x00});
    put(want, 8, {0x92, 0x75, 0xAE, 0xFC, 0x93, 0x52, 0xE4, 0x40});
    put(want, 16, {0x01});
    put(want, 20, {0x21});
    put(want, 24, {0x08, 0x02});
    put(want, 112, {0x02});
    put(want, 116, {0xC4, 0xDA, 0xC8, 0xDD});
    put(want, 136, {0x0B});
    put(want, 140, {0x04});
    put(want, 188, {0xC3, 0xFB, 0xB3, 0xC6});
    put(want, 208, {0x0A});
    put(want, 212, {0x08});
    put(want, 216, {0x00, 0x02});
    put(want, 260, {0x1B});
    EXPECT_EQ(payload("DATA.EDB"), want);
}

TEST(Payload, BlankStoreCompanionFile) {
    std::string want = zeros(512);
    put(want, 0, {0x57, 0x45, 0x44, 0x54});
    put(want, 4, {0x00, 0x00, 0x01, 0x00});
    put(want, 8, {0x92, 0x75, 0xAE, 0xFC, 0x93, 0x52, 0xE4, 0x40});
    put(want, 16, {0x01});
    EXPECT_EQ(payload("DATA.edt"), want);
}

TEST(Payload, OfflinePage) {
    const char* lines[] = {
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">",
        "<html xmlns=\"http://www.w3.org/1999/xhtml\">",
        "<head>",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />",
        "<title>\xE6\x97\xA0\xE6\xA0\x87\xE9\xA2\x98\xE6\x96\x87\xE6\xA1\xA3</title>",  // 无标题文档 in UTF-8
        "</head>",
        "",
        "<body>",
        "<h2>\xE6\xB2\xA1\xE6\x9C\x89\xE8\xBF\x9E\xE6\x8E\xA5\xE4\xBA\x92\xE8\x81\x94\xE7\xBD\x91"
        "\xE3\x80\x81\xE6\x97\xA0\xE6\xB3\x95\xE8\x8E\xB7\xE5\x8F\x96\xE6\x9B\xB4\xE6\x96\xB0"
        "\xE7\xA8\x8B\xE5\xBA\x8F</h2>",  // 没有连接互联网、无法获取更新程序
        "</body>",
        "</html>",
    };
    std::string want;
    for (const char* line : lines) want += std::string(line) + "\r\n";
    ASSERT_EQ(want.size(), 375u);
    EXPECT_EQ(payload("index.htm"), want);
}

TEST(Payload, ForumPageIsGbkXhtml) {
    std::string page = payload("Inkhall.url");
    EXPECT_EQ(page.rfind("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"", 0), 0u);
    EXPECT_NE(page.find("charset=gbk"), std::string::npos);
    // GBK, not UTF-8: the UTF-8 lead bytes of 论坛 must not appear, its GBK bytes must.
    EXPECT_EQ(page.find("\xE8\xAE\xBA"), std::string::npos);
    EXPECT_NE(page.find("\xC2\xDB\xCC\xB3"), std::string::npos);
}
