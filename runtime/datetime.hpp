#pragma once
// Local date and time, and the system's date-time text (2014年1月5日9时5分).
#include <functional>
#include <string>

namespace rt {

struct LocalDateTime {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
};

[[nodiscard]] LocalDateTime systemNow();

// The clock every caller asks; tests replace it.
using ClockFn = std::function<LocalDateTime()>;
void setClock(ClockFn clock);  // an empty function restores the system clock
[[nodiscard]] LocalDateTime now();

// Year年month月day日 plus the time part: seconds when not 0, else minutes, else the hour, else nothing.
[[nodiscard]] std::string dateTimeText(const LocalDateTime& t);
// Year年month月day日 without a time part.
[[nodiscard]] std::string dateText(const LocalDateTime& t);

}  // namespace rt
