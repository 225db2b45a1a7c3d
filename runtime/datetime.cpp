#include "runtime/datetime.hpp"

#include "runtime/text.hpp"

namespace rt {

namespace {
ClockFn& clockSlot() {
    static ClockFn clock;
    return clock;
}
}  // namespace

void setClock(ClockFn clock) { clockSlot() = std::move(clock); }

LocalDateTime now() { return clockSlot() ? clockSlot()() : systemNow(); }

std::string dateText(const LocalDateTime& t) {
    static const std::string year = gbk(u8"年"), month = gbk(u8"月"), day = gbk(u8"日");
    return numberText(static_cast<long long>(t.year)) + year + numberText(static_cast<long long>(t.month)) + month +
           numberText(static_cast<long long>(t.day)) + day;
}

std::string dateTimeText(const LocalDateTime& t) {
    static const std::string hour = gbk(u8"时"), minute = gbk(u8"分"), second = gbk(u8"秒");
    auto n = [](int v) { return numberText(static_cast<long long>(v)); };
    std::string text = dateText(t);
    if (t.second != 0) text += n(t.hour) + hour + n(t.minute) + minute + n(t.second) + second;
    else if (t.minute != 0) text += n(t.hour) + hour + n(t.minute) + minute;
    else if (t.hour != 0) text += n(t.hour) + hour;
    return text;
}

}  // namespace rt
