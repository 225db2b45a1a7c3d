#include "app/core/backup_logic.hpp"

#include "runtime/text.hpp"

namespace core {

namespace {
std::string quoted(std::string_view path) { return "\"" + rt::replaceAll(path, "%", "%%") + "\""; }
}  // namespace

std::string backupBatchLine(std::string_view programDir) {
    const std::string dir(programDir);
    return "copy  " + quoted(dir + rt::gbk(u8"\\小说文件\\*.txt")) + "  " + quoted(dir + rt::gbk(u8"\\小说文件备份"));
}

std::string closingCopyName(const rt::LocalDateTime& when, const std::function<bool(const std::string&)>& taken) {
    static const std::string tail = rt::gbk(u8"【备份】.txt");
    const std::string stamp = rt::dateTimeText(when);
    std::string name = stamp + tail;
    for (int n = 2; taken(name) && n < 10000; ++n) name = stamp + " (" + std::to_string(n) + ")" + tail;
    return name;
}

}  // namespace core
