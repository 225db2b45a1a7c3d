#include "app/core/app.hpp"

namespace app {

// The song list, the help page and the chapter-file backup arrive with their own windows;
// until then these steps have nothing to do.
void ReloadSongList(Penloom&) {}
void HelpPageStep(Penloom&) {}
void BackupChapterFiles(Penloom&) {}

}  // namespace app
