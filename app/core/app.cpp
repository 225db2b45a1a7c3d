#include "app/core/app.hpp"

#include <system_error>

#include "app/core/main_window.hpp"
#include "app/core/store_startup.hpp"
#include "app/core/writing_window.hpp"
#include "app/forms/resources.hpp"
#include "runtime/files.hpp"
#include "runtime/text.hpp"
#include "runtime/win/services.hpp"

namespace app {

Penloom::Penloom(std::filesystem::path programDir, rt::Ui& ui) : programDir_(std::move(programDir)), ui_(ui) {}

Penloom::~Penloom() = default;

std::filesystem::path Penloom::path(std::string_view utf8Literal) const {
    return rt::programPath(programDir_, utf8Literal);
}

void Penloom::start() {
    main_ = std::make_unique<MainWindow>(*this);
    main_->create();
}

void Penloom::openWritingWindow() {
    // Two writing windows would share the store's single cursor: bring the open one forward instead.
    if (writing_ && writing_->alive()) {
        writing_->bringToFront();
        return;
    }
    retired_ = std::move(writing_);
    writing_ = std::make_unique<WritingWindow>(*this);
    writing_->create();
}

void Penloom::openChapterStore() {
    const std::filesystem::path folder = path("\\小说数据");
    if (!core::anyStoreFilePresent(folder)) {
        // A copied Penloom.exe without its data gets the blank store the installer would have written.
        (void)rt::createFolder(folder);
        (void)rt::writeFile(folder / "DATA.EDB", rt::resourceBytes(res::kBlankStoreMain));
        (void)rt::writeFile(folder / "DATA.edt", rt::resourceBytes(res::kBlankStoreCompanion));
    }
    if (store_.Open(path("\\小说数据\\data.edb"))) return;
    ui_.messageBox(core::openFailureMessage(store_), rt::gbk(u8"警告"), rt::kMbOkExclamation);
}

}  // namespace app
