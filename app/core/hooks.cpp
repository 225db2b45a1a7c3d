#include "app/core/app.hpp"

namespace app {

// The song list and the help page arrive with their own pages; until then these steps have nothing to do.
void ReloadSongList(Penloom&) {}
void HelpPageStep(Penloom&) {}

}  // namespace app
