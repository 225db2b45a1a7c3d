#include "app/core/app.hpp"
#include "app/core/backup_logic.hpp"
#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/win/services.hpp"

namespace app {

namespace {
// Long enough for thousands of chapter files; the author is waiting on no window meanwhile.
constexpr int kBatchWaitMs = 30000;
}

void BackupChapterFiles(Penloom& app) {
    const auto batch = app.path("\\复制文件.bat");
    (void)rt::writeFile(batch, core::backupBatchLine(rt::commandPathText(app.programDir())));
    auto interpreter = rt::runBatchHidden(app.programDir(), batch.filename().wstring());
    (void)app.ui().messageBox(rt::gbk(u8"小说文件备份成功"), "", rt::kMbOk);
    // Deleting the batch before the interpreter has read it would lose the backup just confirmed.
    (void)rt::waitPumping(interpreter.get(), kBatchWaitMs);
    (void)rt::deleteFile(batch);
}

}  // namespace app
