#include <gtest/gtest.h>

#include <set>

#include "app/core/backup_logic.hpp"
#include "runtime/text.hpp"

using rt::gbk;

TEST(BackupBatchLine, QuotesBothPathsWithTwoSpacesBetween) {
    EXPECT_EQ(core::backupBatchLine("D:\\Penloom"),
              gbk(u8"copy  \"D:\\Penloom\\小说文件\\*.txt\"  \"D:\\Penloom\\小说文件备份\""));
}

TEST(BackupBatchLine, BlanksStayInsideTheQuotesAndPercentIsDoubled) {
    struct Case {
        const char8_t* dir;
        const char8_t* line;
    };
    const Case cases[] = {
        {u8"C:\\Program Files\\Penloom", u8"copy  \"C:\\Program Files\\Penloom\\小说文件\\*.txt\"  \"C:\\Program Files\\Penloom\\小说文件备份\""},
        {u8"D:\\写作 100%\\Pen", u8"copy  \"D:\\写作 100%%\\Pen\\小说文件\\*.txt\"  \"D:\\写作 100%%\\Pen\\小说文件备份\""},
        {u8"E:\\%PATH%", u8"copy  \"E:\\%%PATH%%\\小说文件\\*.txt\"  \"E:\\%%PATH%%\\小说文件备份\""},
    };
    for (const auto& c : cases) EXPECT_EQ(core::backupBatchLine(gbk(c.dir)), gbk(c.line)) << rt::toUtf8(gbk(c.dir));
}

TEST(ClosingCopyName, EveryTimeFormAndNoOverwrite) {
    auto none = [](const std::string&) { return false; };
    EXPECT_EQ(core::closingCopyName({2014, 1, 5, 19, 28, 17}, none), gbk(u8"2014年1月5日19时28分17秒【备份】.txt"));
    EXPECT_EQ(core::closingCopyName({2014, 1, 5, 0, 0, 0}, none), gbk(u8"2014年1月5日【备份】.txt"));
    EXPECT_EQ(core::closingCopyName({2014, 1, 5, 0, 5, 3}, none), gbk(u8"2014年1月5日0时5分3秒【备份】.txt"));
    std::set<std::string> existing = {gbk(u8"2014年1月5日8时【备份】.txt"), gbk(u8"2014年1月5日8时 (2)【备份】.txt")};
    EXPECT_EQ(core::closingCopyName({2014, 1, 5, 8, 0, 0}, [&](const std::string& n) { return existing.count(n) > 0; }),
              gbk(u8"2014年1月5日8时 (3)【备份】.txt"));
}
