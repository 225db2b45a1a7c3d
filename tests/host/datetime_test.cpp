#include <gtest/gtest.h>

#include "runtime/datetime.hpp"
#include "runtime/text.hpp"

using namespace rt;

TEST(DateTimeText, EachTimePartForm) {
    struct Case { LocalDateTime t; const char8_t* text; };
    const Case cases[] = {
        {{2014, 1, 5, 19, 28, 17}, u8"2014年1月5日19时28分17秒"},
        {{2014, 1, 5, 9, 5, 0}, u8"2014年1月5日9时5分"},
        {{2014, 1, 5, 8, 0, 0}, u8"2014年1月5日8时"},
        {{2014, 1, 5, 0, 0, 0}, u8"2014年1月5日"},
        {{2014, 1, 5, 0, 5, 3}, u8"2014年1月5日0时5分3秒"},
        {{2014, 1, 5, 0, 0, 9}, u8"2014年1月5日0时0分9秒"},
        {{2014, 12, 31, 0, 30, 0}, u8"2014年12月31日0时30分"},
    };
    for (const auto& c : cases) EXPECT_EQ(toUtf8(dateTimeText(c.t)), toUtf8(gbk(c.text)));
}

TEST(DateTimeText, DateAloneHasNoTimePart) {
    EXPECT_EQ(dateText({2014, 1, 5, 9, 5, 3}), gbk(u8"2014年1月5日"));
}

TEST(Clock, InjectedClockIsUsedUntilRestored) {
    setClock([] { return LocalDateTime{2001, 2, 3, 4, 5, 6}; });
    EXPECT_EQ(now().year, 2001);
    EXPECT_EQ(now().second, 6);
    setClock({});
    EXPECT_GE(now().year, 2024);
}
