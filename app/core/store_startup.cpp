#include "app/core/store_startup.hpp"

#include "app/core/store_file.hpp"
#include "runtime/text.hpp"

namespace core {

bool anyStoreFilePresent(const std::filesystem::path& folder) {
    return findIgnoringCase(folder, "data.edb").has_value() || findIgnoringCase(folder, "data.edt").has_value();
}

std::string openFailureMessage(const ChapterStore& store) {
    std::u8string why;
    switch (store.openFailure()) {
        case OpenFailure::Locked: why = u8"这个文件正被另一个程序使用（可能是另一个正在运行的 Penloom）。"; break;
        case OpenFailure::Missing: why = u8"章节数据库由 data.edb 和 data.edt 两个文件组成，其中一个找不到了。"; break;
        case OpenFailure::Damaged: why = u8"这个文件已经损坏，或者不是 Penloom 的章节数据库。"; break;
        default: why = u8"读取这个文件时出错。"; break;
    }
    std::u8string file = store.failedFile().u8string();
    std::string text = rt::gbk(u8"无法打开章节数据库：\r\n");
    text += rt::gbk(std::u8string_view(file));
    text += "\r\n\r\n" + rt::gbk(std::u8string_view(why)) + "\r\n\r\n";
    text += rt::gbk(
        u8"为保护您已写下的章节，Penloom 不会改动或替换这个文件，本次运行中章节列表将是空的。"
        u8"请关闭 Penloom，把“小说数据”文件夹复制一份留作备份，然后检查该文件"
        u8"（关闭占用它的程序，或从备份中恢复）后再启动。");
    return text;
}

}  // namespace core
