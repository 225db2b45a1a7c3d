#pragma once
// Start-up's view of the store's files: whether any is there, and what to tell the author when it won't open.
#include <filesystem>
#include <string>

#include "app/core/chapter_store.hpp"

namespace core {

// True when the folder holds data.edb or data.edt in any letter case.
[[nodiscard]] bool anyStoreFilePresent(const std::filesystem::path& folder);

// GBK text of the warning shown when an existing store cannot be opened.
[[nodiscard]] std::string openFailureMessage(const ChapterStore& store);

}  // namespace core
